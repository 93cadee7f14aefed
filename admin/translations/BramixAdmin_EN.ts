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
</context>
<context>
    <name>CScanThread</name>
    <message>
        <source>Fetal error</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
