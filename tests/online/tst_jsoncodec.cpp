#include "online/json.h"
#include "online/jsoncodec.h"

#include <QtTest>

#include <cmath>
#include <limits>

class TestJsonCodec : public QObject
{
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QString>("json");
        QTest::addColumn<QVariant>("expected");
        QTest::addColumn<bool>("success");

        const QVariantList oneTwo{1u, 2u};
        QTest::newRow("doubled comma") << "[1,,2]" << QVariant(oneTwo) << true;
        QTest::newRow("missing comma") << "[1 2]" << QVariant(oneTwo) << true;
        QTest::newRow("members without comma")
            << "{\"b\":2 \"a\":1}" << QVariant(QVariantMap{{"a", 1u}, {"b", 2u}}) << true;
        QTest::newRow("repeated member") << "{\"a\":1,\"a\":2}" << QVariant(QVariantMap{{"a", 2u}}) << true;
        QTest::newRow("nested with null")
            << "{ \"a\" : [ \"x\", true, false, null ] }"
            << QVariant(QVariantMap{{"a", QVariantList{"x", true, false, QVariant()}}}) << true;
        QTest::newRow("text after the value") << "[1] and more" << QVariant(QVariantList{1u}) << true;
        QTest::newRow("keyword prefix") << "truex" << QVariant(true) << true;
        QTest::newRow("above 32 bits") << "4294967296" << QVariant(Q_UINT64_C(4294967296)) << true;
        QTest::newRow("negative") << "-5" << QVariant(-5) << true;
        QTest::newRow("negative 64 bits") << "-9999999999" << QVariant(Q_INT64_C(-9999999999)) << true;
        QTest::newRow("point") << "1.0" << QVariant(1.0) << true;
        QTest::newRow("exponent with point") << "1.5e3" << QVariant(1500.0) << true;
        QTest::newRow("exponent without point") << "1e5" << QVariant(QString("1e5")) << true;
        QTest::newRow("two points") << "1.2.3" << QVariant(0.0) << true;
        QTest::newRow("beyond 64 bits") << "99999999999999999999" << QVariant(QString("99999999999999999999")) << true;
        QTest::newRow("unicode escape") << "\"\\u4e2d\"" << QVariant(QString("中")) << true;
        QTest::newRow("unknown escape") << "\"a\\qb\"" << QVariant(QString("ab")) << true;
        QTest::newRow("non-hex escape") << "\"\\u0x41\"" << QVariant(QString(QChar(0))) << true;
        QTest::newRow("escapes") << "\"\\\"\\\\\\/\\b\\f\\n\\r\\t\"" << QVariant(QString("\"\\/\b\f\n\r\t")) << true;
        QTest::newRow("raw control characters") << "\"a\tb\x01\"" << QVariant(QString("a\tb\x01")) << true;
        QTest::newRow("null text") << QString() << QVariant() << true;
        QTest::newRow("empty text") << "" << QVariant() << false;
        QTest::newRow("keyword cut short") << "nul" << QVariant() << false;
        QTest::newRow("unterminated string") << "\"abc" << QVariant() << false;
        QTest::newRow("backslash at the end") << "\"ab\\" << QVariant() << false;
        QTest::newRow("short unicode escape") << "\"\\u12\"" << QVariant() << false;
        QTest::newRow("missing colon") << "{\"a\" 1}" << QVariant(QVariantMap()) << false;
        QTest::newRow("unclosed array") << "[1, {" << QVariant(QVariantList()) << false;
        QTest::newRow("unclosed object keeps nothing") << "{\"a\":1" << QVariant(QVariantMap()) << false;
        QTest::newRow("plus sign") << "+1" << QVariant() << false;
        QTest::newRow("deep nesting") << QString(100000, '[') << QVariant(QVariantList()) << false;
    }

    void parse()
    {
        QFETCH(QString, json);
        QFETCH(QVariant, expected);
        QFETCH(bool, success);
        bool ok = false;
        const QVariant value = JsonCodec::parse(json, ok);
        QCOMPARE(ok, success);
        QCOMPARE(value.typeId(), expected.typeId());
        QCOMPARE(value, expected);
    }

    void serialize_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QByteArray>("expected");

        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double inf = std::numeric_limits<double>::infinity();
        QTest::newRow("empty list") << QVariant(QVariantList()) << QByteArray("[  ]");
        QTest::newRow("empty map") << QVariant(QVariantMap()) << QByteArray("{  }");
        QTest::newRow("keys sorted") << QVariant(QVariantMap{{"b", 1}, {"a", "x"}})
                                     << QByteArray("{ \"a\" : \"x\", \"b\" : 1 }");
        QTest::newRow("hash") << QVariant(QVariantHash{{"k", true}}) << QByteArray("{ \"k\" : true }");
        QTest::newRow("upload table") << QVariant(QVariantMap{{"table_name", "bill"},
                                                              {"update_columns", QStringList{"id", "version"}},
                                                              {"update_data", QVariantList()},
                                                              {"delete_columns", QStringList{"id", "version"}},
                                                              {"delete_data", QVariantList()}})
                                      << QByteArray("{ \"delete_columns\" : [ \"id\", \"version\" ], "
                                                    "\"delete_data\" : [  ], \"table_name\" : \"bill\", "
                                                    "\"update_columns\" : [ \"id\", \"version\" ], "
                                                    "\"update_data\" : [  ] }");
        QTest::newRow("whole double") << QVariant(3.0) << QByteArray("3.0");
        QTest::newRow("fraction") << QVariant(2.5) << QByteArray("2.5");
        QTest::newRow("six digits") << QVariant(1234567.0) << QByteArray("1.23457e+06");
        QTest::newRow("float") << QVariant(2.5f) << QByteArray("2.5");
        QTest::newRow("not a number") << QVariant(nan) << QByteArray();
        QTest::newRow("infinity inside a list") << QVariant(QVariantList{1, inf}) << QByteArray();
        QTest::newRow("infinity inside a map") << QVariant(QVariantMap{{"a", inf}}) << QByteArray();
        QTest::newRow("bool") << QVariant(false) << QByteArray("false");
        QTest::newRow("largest unsigned")
            << QVariant(std::numeric_limits<qulonglong>::max()) << QByteArray("18446744073709551615");
        QTest::newRow("negative int") << QVariant(-5) << QByteArray("-5");
        QTest::newRow("null") << QVariant() << QByteArray("null");
        QTest::newRow("digit text stays text") << QVariant(QString("42")) << QByteArray("\"42\"");
        QTest::newRow("escaped text") << QVariant(QString("中\n\"\\/\t\x01"))
                                      << QByteArray("\"中\\n\\\"\\\\/\\t\x01\"");
        QTest::newRow("bytes") << QVariant(QByteArray("ab")) << QByteArray("\"ab\"");
        QTest::newRow("string list") << QVariant(QStringList{"a", "b"}) << QByteArray("[ \"a\", \"b\" ]");
        QTest::newRow("no text form") << QVariant(QPoint(1, 2)) << QByteArray();
    }

    void serialize()
    {
        QFETCH(QVariant, value);
        QFETCH(QByteArray, expected);
        bool ok = false;
        const QByteArray text = JsonCodec::serialize(value, ok);
        QCOMPARE(text, expected);
        QCOMPARE(text.isNull(), !ok);
        QCOMPARE(JSON::getInstance()->serialize(value), QString::fromUtf8(expected));
    }

    void writtenTextReadsBack()
    {
        const QVariantList changeSet{
            QVariantMap{{"table_name", "bill"},
                        {"update_data", QVariantList{QVariantList{"it's", "午餐\r\n\"x\"", "", "\\u4e2d", "12.5"}}}}};
        QCOMPARE(JsonCodec::parse(JSON::getInstance()->serialize(changeSet)), QVariant(changeSet));
    }

    void facadeKeepsOnlyTheAskedShape_data()
    {
        QTest::addColumn<QString>("json");
        QTest::addColumn<int>("listSize");
        QTest::addColumn<int>("mapSize");

        QTest::newRow("array") << "[1, 2]" << 2 << 0;
        QTest::newRow("object") << "{\"error\": 7, \"message\": \"x\"}" << 0 << 2;
        QTest::newRow("string") << "\"[1, 2]\"" << 0 << 0;
        QTest::newRow("number") << "5" << 0 << 0;
        QTest::newRow("empty array") << "[]" << 0 << 0;
        QTest::newRow("not json") << "<html>502</html>" << 0 << 0;
    }

    void facadeKeepsOnlyTheAskedShape()
    {
        QFETCH(QString, json);
        QFETCH(int, listSize);
        QFETCH(int, mapSize);
        QCOMPARE(JSON::getInstance()->toList(json).size(), listSize);
        QCOMPARE(JSON::getInstance()->toMap(json).size(), mapSize);
    }
};

QTEST_GUILESS_MAIN(TestJsonCodec)
#include "tst_jsoncodec.moc"
