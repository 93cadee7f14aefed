<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>CAboutDlgClass</name>
    <message>
        <source>CAboutDlg</source>
        <translation>关于 Bramix Admin</translation>
    </message>
    <message>
        <source>Bramix Admin</source>
        <translation>Bramix 管理控制台</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
</context>
<context>
    <name>CCustomColClass</name>
    <message>
        <source>CCustomCol</source>
        <translation>列设置</translation>
    </message>
    <message>
        <source>Add all</source>
        <translation>全部添加</translation>
    </message>
    <message>
        <source>delAll</source>
        <translation>全部删除</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
</context>
<context>
    <name>CLogTable</name>
    <message>
        <source>Log view</source>
        <translation>日志查看</translation>
    </message>
</context>
<context>
    <name>CPageSet</name>
    <message>
        <source>%1, %2 pt</source>
        <translation>%1，%2 磅</translation>
    </message>
</context>
<context>
    <name>CReport</name>
    <message>
        <source>All</source>
        <translation>全部</translation>
    </message>
    <message>
        <source>Intel</source>
        <translation>Intel</translation>
    </message>
    <message>
        <source>Amd</source>
        <translation>AMD</translation>
    </message>
    <message>
        <source>other</source>
        <translation>其他</translation>
    </message>
    <message>
        <source>Select export file </source>
        <translation>选择导出文件</translation>
    </message>
    <message>
        <source>Html file (*.html *.htm )</source>
        <translation>HTML 文件 (*.html *.htm )</translation>
    </message>
    <message>
        <source>Export to Html</source>
        <translation>导出为 HTML</translation>
    </message>
    <message>
        <source>Print Document</source>
        <translation>打印文档</translation>
    </message>
</context>
<context>
    <name>CResourcePage</name>
    <message>
        <source>The file &quot;%1&quot; cannot be written: %2</source>
        <translation>无法写入文件“%1”：%2</translation>
    </message>
    <message>
        <source>it is write-protected</source>
        <translation>该文件受写保护</translation>
    </message>
    <message>
        <source>it is not a plain file</source>
        <translation>它不是普通文件</translation>
    </message>
    <message>
        <source>The file &quot;%1&quot; already exists.
Do you want to replace it?</source>
        <translation>文件“%1”已存在。
是否替换它？</translation>
    </message>
</context>
<context>
    <name>CScanThread</name>
    <message>
        <source>Fetal error</source>
        <translation>严重错误</translation>
    </message>
</context>
<context>
    <name>Dialog</name>
    <message>
        <source>Dialog</source>
        <translation>页面设置</translation>
    </message>
    <message>
        <source>Page space</source>
        <translation>页边距</translation>
    </message>
    <message>
        <source>Left</source>
        <translation>左</translation>
    </message>
    <message>
        <source>Right</source>
        <translation>右</translation>
    </message>
    <message>
        <source>Top</source>
        <translation>上</translation>
    </message>
    <message>
        <source>Bottom</source>
        <translation>下</translation>
    </message>
    <message>
        <source>Page</source>
        <translation>页面</translation>
    </message>
    <message>
        <source>Portrait</source>
        <translation>纵向</translation>
    </message>
    <message>
        <source>Landscape</source>
        <translation>横向</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>纸张</translation>
    </message>
    <message>
        <source>Font</source>
        <translation>字体</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
</context>
<context>
    <name>Frame</name>
    <message>
        <source>Scaning network ......</source>
        <translation>正在扫描网络……</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
</context>
<context>
    <name>ListEditDlg</name>
    <message>
        <source>Dialog</source>
        <translation>对话框</translation>
    </message>
    <message>
        <source>Folder</source>
        <translation>文件夹</translation>
    </message>
    <message>
        <source>Add Folder</source>
        <translation>添加文件夹</translation>
    </message>
    <message>
        <source>Delete Folder</source>
        <translation>删除文件夹</translation>
    </message>
    <message>
        <source>The folder is not empty, can not be delete!</source>
        <translation>文件夹不为空，无法删除！</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>System info report</source>
        <translation>系统信息报表</translation>
    </message>
    <message>
        <source>CPU</source>
        <translation>CPU</translation>
    </message>
    <message>
        <source>MHz</source>
        <translation>MHz</translation>
    </message>
    <message>
        <source>Memory</source>
        <translation>内存</translation>
    </message>
    <message>
        <source>MB</source>
        <translation>MB</translation>
    </message>
    <message>
        <source>DISK</source>
        <translation>硬盘</translation>
    </message>
    <message>
        <source>GB</source>
        <translation>GB</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>搜索</translation>
    </message>
    <message>
        <source>Next page</source>
        <translation>下一页</translation>
    </message>
    <message>
        <source>Privous page</source>
        <translation>上一页</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>文件(&amp;F)</translation>
    </message>
    <message>
        <source>&amp;Print...</source>
        <translation>打印(&amp;P)...</translation>
    </message>
    <message>
        <source>Page &amp;Set...</source>
        <translation>页面设置(&amp;S)...</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>关闭(&amp;C)</translation>
    </message>
    <message>
        <source>Print &amp;Preview</source>
        <translation>打印预览(&amp;P)</translation>
    </message>
    <message>
        <source>Print Preview</source>
        <translation>打印预览</translation>
    </message>
    <message>
        <source>Export to Html</source>
        <translation>导出为 HTML</translation>
    </message>
    <message>
        <source>column setting</source>
        <translation>列设置</translation>
    </message>
</context>
<context>
    <name>SelUpFileDlg</name>
    <message>
        <source>Select file to update</source>
        <translation>选择更新文件</translation>
    </message>
    <message>
        <source>Windows</source>
        <translation>Windows</translation>
    </message>
    <message>
        <source>Linux</source>
        <translation>Linux</translation>
    </message>
    <message>
        <source>Browse</source>
        <translation>浏览</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>删除</translation>
    </message>
    <message>
        <source>Version:</source>
        <translation>版本：</translation>
    </message>
    <message>
        <source>Update now on force</source>
        <translation>立即强制更新</translation>
    </message>
    <message>
        <source>Select one or more files to update</source>
        <translation>选择一个或多个更新文件</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>所有文件 (*)</translation>
    </message>
    <message>
        <source>The file &quot;%1&quot; is not listed: its name cannot be sent to the clients. A name must not hold &quot;:&quot;, &quot;\&quot;, control characters or characters beyond Latin-1 (U+00FF).</source>
        <translation>文件“%1”未加入列表：它的名称无法发送给客户端。文件名不能包含“:”、“\”、控制字符或 Latin-1 (U+00FF) 以外的字符。</translation>
    </message>
    <message>
        <source>These files are not listed: their names cannot be sent to the clients. A name must not hold &quot;:&quot;, &quot;\&quot;, control characters or characters beyond Latin-1 (U+00FF).

%1</source>
        <translation>以下文件未加入列表：它们的名称无法发送给客户端。文件名不能包含“:”、“\”、控制字符或 Latin-1 (U+00FF) 以外的字符。

%1</translation>
    </message>
</context>
<context>
    <name>UpdateProcessFrame</name>
    <message>
        <source>Frame</source>
        <translation>进度</translation>
    </message>
    <message>
        <source>     updating</source>
        <translation>     正在更新</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
</context>
<context>
    <name>qtm</name>
    <message>
        <source>Details</source>
        <translation>详细信息</translation>
    </message>
    <message>
        <source>computer</source>
        <translation>计算机</translation>
    </message>
    <message>
        <source>Scaning</source>
        <translation>扫描网络</translation>
    </message>
    <message>
        <source>Update client</source>
        <translation>更新客户端</translation>
    </message>
    <message>
        <source>Select export file </source>
        <translation>选择导出文件</translation>
    </message>
    <message>
        <source>Html file (*.html *.htm )</source>
        <translation>HTML 文件 (*.html *.htm )</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>导出</translation>
    </message>
</context>
<context>
    <name>qtmClass</name>
    <message>
        <source>Bramix Admin</source>
        <translation>Bramix 管理控制台</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>文件(&amp;F)</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>帮助(&amp;H)</translation>
    </message>
    <message>
        <source>&amp;Tools</source>
        <translation>工具(&amp;T)</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>视图(&amp;V)</translation>
    </message>
    <message>
        <source>&amp;Language</source>
        <translation>语言(&amp;L)</translation>
    </message>
    <message>
        <source>&amp;Report</source>
        <translation>报表(&amp;R)</translation>
    </message>
    <message>
        <source>ToolBar</source>
        <translation>工具栏</translation>
    </message>
    <message>
        <source>&amp;Search</source>
        <translation>搜索(&amp;S)</translation>
    </message>
    <message>
        <source>&amp;Exit</source>
        <translation>退出(&amp;E)</translation>
    </message>
    <message>
        <source>&amp;About</source>
        <translation>关于(&amp;A)</translation>
    </message>
    <message>
        <source>Report</source>
        <translation>报表</translation>
    </message>
    <message>
        <source>&amp;Export</source>
        <translation>导出(&amp;E)</translation>
    </message>
    <message>
        <source>&amp;Update</source>
        <translation>更新(&amp;U)</translation>
    </message>
    <message>
        <source>Update client</source>
        <translation>更新客户端</translation>
    </message>
    <message>
        <source>Chinese</source>
        <translation>中文</translation>
    </message>
    <message>
        <source>Japanese</source>
        <translation>日语</translation>
    </message>
    <message>
        <source>English</source>
        <translation>英语</translation>
    </message>
    <message>
        <source>Change log</source>
        <translation>变更日志</translation>
    </message>
    <message>
        <source>Change log view</source>
        <translation>查看变更日志</translation>
    </message>
    <message>
        <source>Update log</source>
        <translation>更新日志</translation>
    </message>
    <message>
        <source>Update log view</source>
        <translation>查看更新日志</translation>
    </message>
    <message>
        <source>Edit folder</source>
        <translation>编辑文件夹</translation>
    </message>
    <message>
        <source>edit folder </source>
        <translation>编辑文件夹</translation>
    </message>
    <message>
        <source>Delete Item</source>
        <translation>删除项目</translation>
    </message>
    <message>
        <source>Delete this</source>
        <translation>删除此项</translation>
    </message>
</context>
</TS>
