#!/usr/bin/env python3
"""Puts the scan and update texts of the console into its .ts files: the contexts SelUpFileDlg (form
and class texts), CScanThread and the scan and update texts of qtm. Other messages are left as they
are. Run under the shared lock: flock /tmp/bramix-ts.lock python3 fill_translations.py <ts dir>"""
import html
import re
import sys

TEXTS = {
    "SelUpFileDlg": [
        ("Select file to update", "选择更新文件", "更新ファイルの選択"),
        ("Windows", "Windows", "Windows"),
        ("Linux", "Linux", "Linux"),
        ("Browse", "浏览", "参照"),
        ("Delete", "删除", "削除"),
        ("Version:", "版本：", "バージョン："),
        ("Update now on force", "立即强制更新", "今すぐ強制更新"),
        ("Select one or more files to update", "选择一个或多个更新文件", "更新するファイルを選択（複数可）"),
        ("All files (*)", "所有文件 (*)", "すべてのファイル (*)"),
    ],
    "CScanThread": [
        ("Fetal error", "严重错误", "致命的なエラー"),
    ],
    "qtm": [
        ("Scaning", "扫描网络", "ネットワークのスキャン"),
        ("Update client", "更新客户端", "クライアントの更新"),
    ],
}


def message(source, translation):
    if translation is None:
        body = '<translation type="unfinished"></translation>'
    else:
        body = "<translation>%s</translation>" % html.escape(translation, quote=False)
    return "    <message>\n        <source>%s</source>\n        %s\n    </message>\n" % (
        html.escape(source, quote=False), body)


def fill(path, column):
    text = open(path, encoding="utf-8").read()
    for context, entries in TEXTS.items():
        pattern = re.compile(r"<context>\n    <name>%s</name>\n.*?</context>\n" % re.escape(context), re.S)
        found = pattern.search(text)
        block = found.group(0) if found else "<context>\n    <name>%s</name>\n</context>\n" % context
        for entry in entries:
            source = html.escape(entry[0], quote=False)
            translation = None if column is None else entry[column]
            one = re.compile(r"    <message>\n        <source>%s</source>\n.*?</message>\n" % re.escape(source), re.S)
            if one.search(block):
                block = one.sub(lambda m: message(entry[0], translation), block, count=1)
            else:
                block = block.replace("</context>\n", message(entry[0], translation) + "</context>\n")
        if found:
            text = text[:found.start()] + block + text[found.end():]
        else:
            text = text.replace("</TS>", block + "</TS>")
    open(path, "w", encoding="utf-8").write(text)


directory = sys.argv[1]
fill(directory + "/BramixAdmin_EN.ts", None)
fill(directory + "/BramixAdmin_CN.ts", 1)
fill(directory + "/BramixAdmin_JP.ts", 2)
