#include "clientaddress.h"

#include <QtTest>

namespace {
namespace asio = boost::asio;

// The two proxies every row trusts: an outer one the requests reach the service through, and an inner one.
const ClientAddress proxies({asio::ip::make_address("127.0.0.5"), asio::ip::make_address("127.0.0.6")});

// A request head of "Name: value" fields, in their order.
boost::beast::http::fields head(const QByteArrayList& fields)
{
    boost::beast::http::fields made;
    for (const QByteArray& field : fields) {
        const qsizetype colon = field.indexOf(':');
        made.insert(field.left(colon).toStdString(), field.mid(colon + 1).trimmed().toStdString());
    }
    return made;
}
} // namespace

class TestClientAddress : public QObject
{
    Q_OBJECT

private slots:
    // Behind a chain of trusted proxies the client is the right-most address no trusted proxy wrote; what the client
    // wrote left of it counts for nothing.
    void namesTheClientBehindTheProxies_data()
    {
        QTest::addColumn<QString>("peer");
        QTest::addColumn<QByteArrayList>("fields");
        QTest::addColumn<QString>("client");
        const QByteArray chain = "X-Forwarded-For: 10.0.0.1, 127.0.0.6";
        QTest::newRow("through both proxies") << "127.0.0.5" << QByteArrayList{chain} << "10.0.0.1";
        QTest::newRow("with forged addresses left of the client")
            << "127.0.0.5" << QByteArrayList{"X-Forwarded-For: 10.0.0.9, 127.0.0.6, 10.0.0.1, 127.0.0.6"} << "10.0.0.1";
        QTest::newRow("every address a proxy")
            << "127.0.0.5" << QByteArrayList{"X-Forwarded-For: 127.0.0.6, 127.0.0.5"} << "127.0.0.6";
        QTest::newRow("the list over two fields")
            << "127.0.0.5" << QByteArrayList{"X-Forwarded-For: 10.0.0.1", "x-forwarded-for: 127.0.0.6"} << "10.0.0.1";
        QTest::newRow("empty elements") << "127.0.0.5" << QByteArrayList{"X-Forwarded-For: ,10.0.0.1,, 127.0.0.6,"}
                                        << "10.0.0.1";
        QTest::newRow("an element that names no address, with a forgery left of it")
            << "127.0.0.5" << QByteArrayList{"X-Forwarded-For: 10.0.0.1, unknown, 127.0.0.6"} << "127.0.0.6";
        QTest::newRow("X-Forwarded-For before Forwarded")
            << "127.0.0.5" << QByteArrayList{"Forwarded: for=10.0.0.2", chain} << "10.0.0.1";
        QTest::newRow("Forwarded through both proxies")
            << "127.0.0.5" << QByteArrayList{"Forwarded: for=10.0.0.9, for=10.0.0.1;proto=https, for=\"127.0.0.6:80\""}
            << "10.0.0.1";
        QTest::newRow("Forwarded element without for=")
            << "127.0.0.5" << QByteArrayList{"Forwarded: for=10.0.0.1, proto=https"} << "127.0.0.5";
        QTest::newRow("from a proxy mapped into IPv6") << "::ffff:127.0.0.5" << QByteArrayList{chain} << "10.0.0.1";
        QTest::newRow("from a peer no one trusts") << "127.0.0.7" << QByteArrayList{chain} << "127.0.0.7";
    }

    void namesTheClientBehindTheProxies()
    {
        QFETCH(QString, peer);
        QFETCH(QByteArrayList, fields);
        QFETCH(QString, client);
        QCOMPARE(QString::fromStdString(proxies.of(asio::ip::make_address(peer.toStdString()), head(fields))), client);
    }

    // An IPv6 client counts by its /64 whatever the rest of its address; an IPv4 one as itself, mapped or not.
    void countsAnAddressByItsNetwork_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("key");
        QTest::newRow("IPv6") << "2001:db8:0:1::1"
                              << "2001:db8:0:1::/64";
        QTest::newRow("IPv6, every bit past the /64 set") << "2001:db8:0:1:ffff:ffff:ffff:ffff"
                                                          << "2001:db8:0:1::/64";
        QTest::newRow("IPv4") << "10.0.0.1"
                              << "10.0.0.1";
        QTest::newRow("IPv4 mapped into IPv6") << "::ffff:10.0.0.1"
                                               << "10.0.0.1";
    }

    void countsAnAddressByItsNetwork()
    {
        QFETCH(QString, address);
        QFETCH(QString, key);
        QCOMPARE(QString::fromStdString(ClientAddress::key(asio::ip::make_address(address.toStdString()))), key);
    }
};

QTEST_GUILESS_MAIN(TestClientAddress)
#include "tst_clientaddress.moc"
