#include "servicepages.h"

#include <QStringList>

QByteArray ServicePages::signup(const QString& notice, const QString& name)
{
    const QString paragraph = notice.isEmpty() ? QString() : "<p class=\"notice\">" + notice.toHtmlEscaped() + "</p>";
    // A form without an action posts to the page's own address, which is right behind a proxy that serves the
    // service below a path as well as at the site's root. A browser counts a name's length in UTF-16 units: a name
    // of 64 characters beyond the Basic Multilingual Plane takes 128 of them, and the service counts the characters.
    return page(QStringLiteral("注册同步账号"), paragraph + QStringLiteral(R"(
<form method="post">
<label>用户名 <input name="username" maxlength="128" value="%1" required></label>
<label>密码 <input name="password" type="password" required></label>
<button type="submit">注册</button>
</form>)")
                                                                .arg(name.toHtmlEscaped()));
}

QByteArray ServicePages::news(const QString& offeredVersion)
{
    QStringList items;
    if (!offeredVersion.isEmpty())
        items << QStringLiteral("Quillbay %1 已发布：在软件的“检查更新”中即可下载安装。").arg(offeredVersion);
    items << QStringLiteral("同步服务已更新：多台设备同时同步时更快，也更稳定。")
          << QStringLiteral("有问题或建议？请使用软件中的“留言反馈”告诉我们，我们会认真阅读每一条。");
    QString list;
    for (const QString& item : items)
        list += "<li>" + item.toHtmlEscaped() + "</li>\n";
    return page(QStringLiteral("Quillbay 动态"), "<ul class=\"news\">\n" + list + "</ul>");
}

QByteArray ServicePages::page(const QString& title, const QString& body)
{
    return QStringLiteral(R"(<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<title>%1</title>
<style>
body { font-family: sans-serif; background: #f4f6f6; color: #1f2d2d; }
main { max-width: 22em; margin: 4em auto; padding: 2em; background: #fff; border-top: 4px solid #0f6b6b; }
label { display: block; margin-top: 1em; }
input { width: 100%; box-sizing: border-box; padding: .4em; }
button { margin-top: 1.5em; padding: .5em 2em; background: #0f6b6b; color: #fff; border: 0; }
.notice { padding: .5em; background: #e6f2f2; }
.news { padding-left: 1.2em; line-height: 1.6; }
.news li { margin-top: .8em; }
</style>
</head>
<body>
<main>
<h1>%1</h1>
%2
</main>
</body>
</html>
)")
        .arg(title.toHtmlEscaped(), body)
        .toUtf8();
}
