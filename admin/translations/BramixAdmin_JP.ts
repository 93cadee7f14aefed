<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>CAboutDlgClass</name>
    <message>
        <source>CAboutDlg</source>
        <translation>Bramix Admin について</translation>
    </message>
    <message>
        <source>Bramix Admin</source>
        <translation>Bramix 管理コンソール</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>CCustomColClass</name>
    <message>
        <source>CCustomCol</source>
        <translation>列の設定</translation>
    </message>
    <message>
        <source>Add all</source>
        <translation>すべて追加</translation>
    </message>
    <message>
        <source>delAll</source>
        <translation>すべて削除</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>キャンセル</translation>
    </message>
</context>
<context>
    <name>CLogTable</name>
    <message>
        <source>Log view</source>
        <translation>ログ表示</translation>
    </message>
</context>
<context>
    <name>CPageSet</name>
    <message>
        <source>%1, %2 pt</source>
        <translation>%1、%2 pt</translation>
    </message>
</context>
<context>
    <name>CReport</name>
    <message>
        <source>All</source>
        <translation>すべて</translation>
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
        <translation>その他</translation>
    </message>
    <message>
        <source>Select export file </source>
        <translation>エクスポート先のファイルを選択</translation>
    </message>
    <message>
        <source>Html file (*.html *.htm )</source>
        <translation>HTML ファイル (*.html *.htm )</translation>
    </message>
    <message>
        <source>Export to Html</source>
        <translation>HTML にエクスポート</translation>
    </message>
    <message>
        <source>Print Document</source>
        <translation>ドキュメントの印刷</translation>
    </message>
</context>
<context>
    <name>CResourcePage</name>
    <message>
        <source>The file &quot;%1&quot; cannot be written: %2</source>
        <translation>ファイル「%1」に書き込めません: %2</translation>
    </message>
    <message>
        <source>it is write-protected</source>
        <translation>ファイルは書き込み禁止です</translation>
    </message>
    <message>
        <source>it is not a plain file</source>
        <translation>通常のファイルではありません</translation>
    </message>
    <message>
        <source>The file &quot;%1&quot; already exists.
Do you want to replace it?</source>
        <translation>ファイル「%1」は既に存在します。
置き換えますか？</translation>
    </message>
</context>
<context>
    <name>CScanThread</name>
    <message>
        <source>Fetal error</source>
        <translation>致命的なエラー</translation>
    </message>
</context>
<context>
    <name>Dialog</name>
    <message>
        <source>Dialog</source>
        <translation>ページ設定</translation>
    </message>
    <message>
        <source>Page space</source>
        <translation>余白</translation>
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
        <translation>ページ</translation>
    </message>
    <message>
        <source>Portrait</source>
        <translation>縦</translation>
    </message>
    <message>
        <source>Landscape</source>
        <translation>横</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>用紙</translation>
    </message>
    <message>
        <source>Font</source>
        <translation>フォント</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>キャンセル</translation>
    </message>
</context>
<context>
    <name>Frame</name>
    <message>
        <source>Scaning network ......</source>
        <translation>ネットワークをスキャン中……</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>キャンセル</translation>
    </message>
</context>
<context>
    <name>ListEditDlg</name>
    <message>
        <source>Dialog</source>
        <translation>ダイアログ</translation>
    </message>
    <message>
        <source>Folder</source>
        <translation>フォルダ</translation>
    </message>
    <message>
        <source>Add Folder</source>
        <translation>フォルダ追加</translation>
    </message>
    <message>
        <source>Delete Folder</source>
        <translation>フォルダ削除</translation>
    </message>
    <message>
        <source>The folder is not empty, can not be delete!</source>
        <translation>フォルダが空ではないため、削除できません！</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>System info report</source>
        <translation>システム情報レポート</translation>
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
        <translation>メモリ</translation>
    </message>
    <message>
        <source>MB</source>
        <translation>MB</translation>
    </message>
    <message>
        <source>DISK</source>
        <translation>ディスク</translation>
    </message>
    <message>
        <source>GB</source>
        <translation>GB</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>検索</translation>
    </message>
    <message>
        <source>Next page</source>
        <translation>次のページ</translation>
    </message>
    <message>
        <source>Privous page</source>
        <translation>前のページ</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>閉じる</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>ファイル(&amp;F)</translation>
    </message>
    <message>
        <source>&amp;Print...</source>
        <translation>印刷(&amp;P)...</translation>
    </message>
    <message>
        <source>Page &amp;Set...</source>
        <translation>ページ設定(&amp;S)...</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>閉じる(&amp;C)</translation>
    </message>
    <message>
        <source>Print &amp;Preview</source>
        <translation>印刷プレビュー(&amp;P)</translation>
    </message>
    <message>
        <source>Print Preview</source>
        <translation>印刷プレビュー</translation>
    </message>
    <message>
        <source>Export to Html</source>
        <translation>HTML にエクスポート</translation>
    </message>
    <message>
        <source>column setting</source>
        <translation>列の設定</translation>
    </message>
</context>
<context>
    <name>SelUpFileDlg</name>
    <message>
        <source>Select file to update</source>
        <translation>更新ファイルの選択</translation>
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
        <translation>参照</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>削除</translation>
    </message>
    <message>
        <source>Version:</source>
        <translation>バージョン</translation>
    </message>
    <message>
        <source>Update now on force</source>
        <translation>今すぐ強制更新</translation>
    </message>
    <message>
        <source>Select one or more files to update</source>
        <translation>更新するファイルを選択（複数可）</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>すべてのファイル (*)</translation>
    </message>
    <message>
        <source>The file &quot;%1&quot; is not listed: its name cannot be sent to the clients. A name must not hold &quot;:&quot;, &quot;\&quot;, control characters or characters beyond Latin-1 (U+00FF).</source>
        <translation>ファイル「%1」は一覧に追加されません：その名前はクライアントに送信できません。ファイル名には「:」、「\」、制御文字、Latin-1 (U+00FF) を超える文字を使えません。</translation>
    </message>
    <message>
        <source>These files are not listed: their names cannot be sent to the clients. A name must not hold &quot;:&quot;, &quot;\&quot;, control characters or characters beyond Latin-1 (U+00FF).

%1</source>
        <translation>次のファイルは一覧に追加されません：それらの名前はクライアントに送信できません。ファイル名には「:」、「\」、制御文字、Latin-1 (U+00FF) を超える文字を使えません。

%1</translation>
    </message>
</context>
<context>
    <name>UpdateProcessFrame</name>
    <message>
        <source>Frame</source>
        <translation>進行状況</translation>
    </message>
    <message>
        <source>     updating</source>
        <translation>     更新中</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>キャンセル</translation>
    </message>
</context>
<context>
    <name>qtm</name>
    <message>
        <source>Details</source>
        <translation>詳細</translation>
    </message>
    <message>
        <source>computer</source>
        <translation>コンピュータ</translation>
    </message>
    <message>
        <source>Scaning</source>
        <translation>ネットワークのスキャン</translation>
    </message>
    <message>
        <source>Update client</source>
        <translation>クライアントの更新</translation>
    </message>
    <message>
        <source>Select export file </source>
        <translation>エクスポート先のファイルを選択</translation>
    </message>
    <message>
        <source>Html file (*.html *.htm )</source>
        <translation>HTML ファイル (*.html *.htm )</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>エクスポート</translation>
    </message>
</context>
<context>
    <name>qtmClass</name>
    <message>
        <source>Bramix Admin</source>
        <translation>Bramix 管理コンソール</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>ファイル(&amp;F)</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>ヘルプ(&amp;H)</translation>
    </message>
    <message>
        <source>&amp;Tools</source>
        <translation>ツール(&amp;T)</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>表示(&amp;V)</translation>
    </message>
    <message>
        <source>&amp;Language</source>
        <translation>言語(&amp;L)</translation>
    </message>
    <message>
        <source>&amp;Report</source>
        <translation>レポート(&amp;R)</translation>
    </message>
    <message>
        <source>ToolBar</source>
        <translation>ツールバー</translation>
    </message>
    <message>
        <source>&amp;Search</source>
        <translation>検索(&amp;S)</translation>
    </message>
    <message>
        <source>&amp;Exit</source>
        <translation>終了(&amp;E)</translation>
    </message>
    <message>
        <source>&amp;About</source>
        <translation>バージョン情報(&amp;A)</translation>
    </message>
    <message>
        <source>Report</source>
        <translation>レポート</translation>
    </message>
    <message>
        <source>&amp;Export</source>
        <translation>エクスポート(&amp;E)</translation>
    </message>
    <message>
        <source>&amp;Update</source>
        <translation>更新(&amp;U)</translation>
    </message>
    <message>
        <source>Update client</source>
        <translation>クライアントを更新</translation>
    </message>
    <message>
        <source>Chinese</source>
        <translation>中国語</translation>
    </message>
    <message>
        <source>Japanese</source>
        <translation>日本語</translation>
    </message>
    <message>
        <source>English</source>
        <translation>英語</translation>
    </message>
    <message>
        <source>Change log</source>
        <translation>変更履歴</translation>
    </message>
    <message>
        <source>Change log view</source>
        <translation>変更履歴を表示</translation>
    </message>
    <message>
        <source>Update log</source>
        <translation>更新履歴</translation>
    </message>
    <message>
        <source>Update log view</source>
        <translation>更新履歴を表示</translation>
    </message>
    <message>
        <source>Edit folder</source>
        <translation>フォルダの編集</translation>
    </message>
    <message>
        <source>edit folder </source>
        <translation>フォルダを編集</translation>
    </message>
    <message>
        <source>Delete Item</source>
        <translation>項目を削除</translation>
    </message>
    <message>
        <source>Delete this</source>
        <translation>この項目を削除</translation>
    </message>
</context>
</TS>
