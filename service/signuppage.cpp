#include "signuppage.h"

QByteArray SignupPage::html(const QString& notice)
{
    const QString paragraph = notice.isEmpty() ? QString() : "<p class=\"notice\">" + notice.toHtmlEscaped() + "</p>";
    return QStringLiteral(R"(<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<title>注册同步账号</title>
<style>
body { font-family: sans-serif; background: #f4f6f6; color: #1f2d2d; }
main { max-width: 22em; margin: 4em auto; padding: 2em; background: #fff; border-top: 4px solid #0f6b6b; }
label { display: block; margin-top: 1em; }
input { width: 100%; box-sizing: border-box; padding: .4em; }
button { margin-top: 1.5em; padding: .5em 2em; background: #0f6b6b; color: #fff; border: 0; }
.notice { padding: .5em; background: #e6f2f2; }
</style>
</head>
<body>
<main>
<h1>注册同步账号</h1>
%1
<form method="post" action="/">
<label>用户名 <input name="username" maxlength="64" required></label>
<label>密码 <input name="password" type="password" required></label>
<button type="submit">注册</button>
</form>
</main>
</body>
</html>
)")
        .arg(paragraph)
        .toUtf8();
}
