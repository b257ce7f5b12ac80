#include "data/filesetting.h"
#include "loopbackhttpserver.h"
#include "messageboxrecorder.h"
#include "online/dfeedback.h"
#include "online/httphelper.h"
#include "testbook.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

namespace {
const QString longEnough = "12345678901234567 \n!"; // 20 code units, blanks and a line break included
}

class TestDFeedback : public QObject
{
    Q_OBJECT

private slots:
    // The checks refuse in a fixed order and send nothing; a sent message succeeds only on "success".
    void send_data()
    {
        QTest::addColumn<QString>("email");
        QTest::addColumn<QString>("email2");
        QTest::addColumn<QString>("content");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("stored");

        const QByteArray marked = LoopbackHttpServer::reply("200 OK", "<p>success</p>");
        const QByteArray plain = LoopbackHttpServer::reply("200 OK", "Success");
        const QByteArray failed = LoopbackHttpServer::reply("500 Internal Server Error", "success");
        const QString tooShort = longEnough.chopped(1), retry = "发送过程出现错误，请重试。";
        // clang-format off
        QTest::newRow("addresses differ before all else") << "a@b.c" << "" << "short" << marked << "您两次输入的邮箱不一致，请确认。" << "";
        QTest::newRow("invalid address before a short message") << "a@b.abcde" << "a@b.abcde" << "short" << marked << "请输入有效的邮箱地址" << "";
        QTest::newRow("short message, address kept") << "A+b@EXAMPLE.COM" << "A+b@EXAMPLE.COM" << tooShort << marked << "反馈内容太短了，请详细说明您的问题。" << "A+b@EXAMPLE.COM";
        QTest::newRow("success inside markup") << "a+b@c.cn" << "a+b@c.cn" << longEnough << marked << "已经将您的反馈信息成功发送给开发者。" << "a+b@c.cn";
        QTest::newRow("Success is a failure") << "a@b.cc" << "a@b.cc" << longEnough << plain << retry << "a@b.cc";
        QTest::newRow("server error") << "a@b.cc" << "a@b.cc" << longEnough << failed << retry << "a@b.cc";
        // clang-format on
    }
    void send()
    {
        QFETCH(QString, email);
        QFETCH(QString, email2);
        QFETCH(QString, content);
        QFETCH(QByteArray, reply);
        QFETCH(QString, message);
        QFETCH(QString, stored);
        TestBook book;
        LoopbackHttpServer server(reply);
        qputenv("QUILLBAY_SERVICE_URL", server.baseUrl().toUtf8());
        MessageBoxRecorder boxes;
        DFeedback dialog;
        dialog.show();
        dialog.findChild<QLineEdit*>("leEmail")->setText(email);
        dialog.findChild<QLineEdit*>("leEmail2")->setText(email2);
        dialog.findChild<QPlainTextEdit*>("pteContent")->setPlainText(content);
        auto* ok = dialog.findChild<QPushButton*>("pbOK");
        ok->click();
        QTRY_COMPARE(boxes.boxes().size(), 1);
        QCOMPARE(boxes.boxes().at(0), qMakePair(QString("错误"), message));
        QCOMPARE(FileSetting::getInstance()->getValue("Feedback/Email", "").toString(), stored);
        const bool sent = content == longEnough && email == email2;
        QCOMPARE(server.requests().size(), sent ? 1 : 0);
        if (sent)
            QVERIFY(server.requests().at(0).endsWith(
                HttpHelper::encodeForm({{"email", email}, {"subject", "FNK PC 反馈" + email}, {"content", content}})));
        const bool success = message.startsWith("已经");
        QCOMPARE(dialog.isVisible(), !success);
        if (!success)
            QVERIFY(ok->isEnabled() && ok->text() == "确定");
        qunsetenv("QUILLBAY_SERVICE_URL");
    }

    // A refused service address is said as it is, before anything is sent; the message stays to be sent again.
    void badAddressIsSaid()
    {
        TestBook book;
        qputenv("QUILLBAY_SERVICE_URL", "http://127.0.0.1:0/");
        MessageBoxRecorder boxes;
        DFeedback dialog;
        dialog.show();
        dialog.findChild<QLineEdit*>("leEmail")->setText("a@b.cc");
        dialog.findChild<QLineEdit*>("leEmail2")->setText("a@b.cc");
        dialog.findChild<QPlainTextEdit*>("pteContent")->setPlainText(longEnough);
        auto* ok = dialog.findChild<QPushButton*>("pbOK");
        ok->click();
        qunsetenv("QUILLBAY_SERVICE_URL");
        QTRY_COMPARE(boxes.boxes().size(), 1);
        QCOMPARE(boxes.boxes().at(0).second,
                 QString("环境变量 QUILLBAY_SERVICE_URL 的值“http://127.0.0.1:0/”的端口无效（应为 1 到 "
                         "65535），无法连接服务器。"));
        QVERIFY(dialog.isVisible() && ok->isEnabled());
    }
};

QTEST_MAIN(TestDFeedback)
#include "tst_dfeedback.moc"
