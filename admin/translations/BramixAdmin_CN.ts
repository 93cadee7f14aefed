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
</context>
<context>
    <name>CScanThread</name>
    <message>
        <source>Fetal error</source>
        <translation>严重错误</translation>
    </message>
</context>
</TS>
