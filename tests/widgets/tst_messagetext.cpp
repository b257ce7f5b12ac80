#include "widgets/messagetext.h"

#include <QtTest>

class TestMessageText : public QObject
{
    Q_OBJECT

private slots:
    // A text a little too long for one line takes two of even length, not a full line above a word alone.
    void linesAreOfEvenLength()
    {
        const QString sentence =
            "环境变量 QUILLBAY_SERVICE_URL 的值“http://127.0.0.1:0/”的端口无效（应为 1 到 65535），无法连接服务器。";
        MessageText text;
        text.setPlainText(sentence);
        const int oneLine = QFontMetrics(text.font()).horizontalAdvance(sentence);
        text.fitWithin(oneLine, 10000);
        QVERIFY2(text.width() < oneLine * 2 / 3, qPrintable(QString("%1 of %2").arg(text.width()).arg(oneLine)));
    }
};

QTEST_MAIN(TestMessageText)
#include "tst_messagetext.moc"
