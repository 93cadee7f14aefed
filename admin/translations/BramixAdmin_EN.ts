<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>CAboutDlgClass</name>
    <message>
        <source>CAboutDlg</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Bramix Admin</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>OK</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CCustomColClass</name>
    <message>
        <source>CCustomCol</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add all</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>delAll</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>OK</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CLogTable</name>
    <message>
        <source>Log view</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CPageSet</name>
    <message>
        <source>%1, %2 pt</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CReport</name>
    <message>
        <source>All</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Intel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Amd</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>other</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select export file </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Html file (*.html *.htm )</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export to Html</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Print Document</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CResourcePage</name>
    <message>
        <source>The file &quot;%1&quot; cannot be written: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>it is write-protected</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>it is not a plain file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file &quot;%1&quot; already exists.
Do you want to replace it?</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CScanThread</name>
    <message>
        <source>Fetal error</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Dialog</name>
    <message>
        <source>Dialog</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Page space</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Left</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Right</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Top</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Bottom</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Page</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Portrait</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Landscape</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Size</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Font</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>OK</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Frame</name>
    <message>
        <source>Scaning network ......</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ListEditDlg</name>
    <message>
        <source>Dialog</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add Folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delete Folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The folder is not empty, can not be delete!</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>System info report</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>CPU</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>MHz</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Memory</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>MB</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>DISK</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>GB</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Search</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Next page</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Privous page</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Close</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Print...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Page &amp;Set...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Print &amp;Preview</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Print Preview</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export to Html</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>column setting</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>SelUpFileDlg</name>
    <message>
        <source>Select file to update</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Windows</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Linux</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Browse</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delete</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Version:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Update now on force</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select one or more files to update</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file &quot;%1&quot; is not listed: its name cannot be sent to the clients. A name must not hold &quot;:&quot;, &quot;\&quot;, control characters or characters beyond Latin-1 (U+00FF).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>These files are not listed: their names cannot be sent to the clients. A name must not hold &quot;:&quot;, &quot;\&quot;, control characters or characters beyond Latin-1 (U+00FF).

%1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>UpdateProcessFrame</name>
    <message>
        <source>Frame</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>     updating</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>qtm</name>
    <message>
        <source>Details</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>computer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Scaning</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Update client</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select export file </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Html file (*.html *.htm )</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>qtmClass</name>
    <message>
        <source>Bramix Admin</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Tools</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Language</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Report</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ToolBar</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Search</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Exit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;About</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Report</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Export</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Update</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Update client</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Chinese</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Japanese</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>English</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Change log</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Change log view</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Update log</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Update log view</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Edit folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>edit folder </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delete Item</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delete this</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
