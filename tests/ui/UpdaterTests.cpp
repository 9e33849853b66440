// SPDX-License-Identifier: GPL-3.0-or-later
// The updater against a feed served over HTTP by a server inside the test.
#include "App/UpdateFeed.h"
#include "App/UpdaterController.h"

#include <QAbstractButton>
#include <QHostAddress>
#include <QMessageBox>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>
#include <vector>

using namespace std::chrono_literals;

namespace {

// Answers every request with one fixed response, or never answers (to test the timeout).
class FeedServer : public QObject {
public:
    explicit FeedServer(QByteArray response = {}) : m_response(std::move(response)) {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, &FeedServer::accept);
    }

    QUrl url() const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/appcast.xml").arg(m_server.serverPort()));
    }

private:
    void accept() {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            m_sockets.push_back(socket);
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                m_request += socket->readAll();
                if (!m_response.isEmpty() && m_request.contains("\r\n\r\n")) {
                    socket->write(m_response);
                    socket->disconnectFromHost();
                }
            });
        }
    }

    QTcpServer m_server;
    QByteArray m_response;
    QByteArray m_request;
    std::vector<QTcpSocket*> m_sockets;
};

QByteArray httpResponse(const QByteArray& body, int status = 200) {
    const QByteArray reason = status == 200 ? "OK" : "Not Found";
    return "HTTP/1.1 " + QByteArray::number(status) + " " + reason +
           "\r\nContent-Type: application/rss+xml\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

QByteArray appcast(const QByteArray& items) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
           "<rss version=\"2.0\" xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/"
           "sparkle\"><channel><title>Parvo</title>" +
           items + "</channel></rss>";
}

QByteArray enclosureItem(const QByteArray& version,
                         const QByteArray& url = "https://example.org/parvo.tar.gz") {
    return "<item><title>Parvo " + version +
           "</title><description><![CDATA[<p>Faster PDFs.</p>]]>"
           "</description><enclosure url=\"" +
           url + "\" sparkle:shortVersionString=\"" + version + "\" sparkle:version=\"" + version +
           "\" length=\"1\" type=\"application/octet-stream\"/></item>";
}

// Runs one check and returns what the presenter was given; fails the test after 10 s.
std::vector<UpdateCheckResult> check(UpdaterController& updater) {
    std::vector<UpdateCheckResult> results;
    updater.setPresenter(
        [&results](const UpdateCheckResult& result) { results.push_back(result); });
    updater.checkForUpdates();
    static_cast<void>(QTest::qWaitFor([&results] { return !results.empty(); }, 10000));
    QTest::qWait(50); // a second delivery would arrive here
    return results;
}

} // namespace

class UpdaterTests : public QObject {
    Q_OBJECT

private slots:
    void feedResults_data();
    void feedResults();
    void serverDownFailsPromptly();
    void silentServerTimesOut();
    void emptyFeedCannotCheck();
    void cannotCheckWhileCheckRuns();
    void onlyWebLinksAreOffered();
    void dialogOffersDownloadOnlyForNewer();
    void versionsCompareNumerically_data();
    void versionsCompareNumerically();
};

void UpdaterTests::feedResults_data() {
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("textPart");
    using K = UpdateCheckResult::Kind;
    QTest::newRow("newer, enclosure attributes")
        << appcast(enclosureItem("1.4.0")) << int(K::NewerVersion) << "1.4.0"
        << "Parvo 1.4.0 is now available — you have 1.2.0.";
    QTest::newRow("newer, version elements")
        << appcast("<item><title>Release</title><sparkle:version>1.3</sparkle:version>"
                   "<enclosure url=\"https://example.org/p.tgz\"/></item>")
        << int(K::NewerVersion) << "1.3"
        << "1.3";
    QTest::newRow("newest of several items, not the first")
        << appcast(enclosureItem("1.1.9") + enclosureItem("1.10.0") + enclosureItem("1.9.0"))
        << int(K::NewerVersion) << "1.10.0"
        << "1.10.0";
    QTest::newRow("same version, shorter spelling")
        << appcast(enclosureItem("1.2")) << int(K::UpToDate) << "1.2"
        << "Parvo 1.2.0 is currently the newest version available.";
    QTest::newRow("older version") << appcast(enclosureItem("1.1.5")) << int(K::UpToDate) << "1.1.5"
                                   << "newest version";
    QTest::newRow("malformed xml")
        << QByteArray("<rss><channel><item><title>1.5") << int(K::Failed) << ""
        << "could not be read";
    QTest::newRow("no version anywhere")
        << appcast("<item><title>Latest</title></item>") << int(K::Failed) << ""
        << "could not be read";
}

void UpdaterTests::feedResults() {
    QFETCH(QByteArray, response);
    QFETCH(int, kind);
    QFETCH(QString, version);
    QFETCH(QString, textPart);
    FeedServer server(httpResponse(response));
    UpdaterController updater(server.url(), QStringLiteral("1.2.0"));
    const auto results = check(updater);
    QCOMPARE(results.size(), size_t(1));
    QCOMPARE(int(results[0].kind), kind);
    QCOMPARE(results[0].item.version, version);
    QVERIFY2(results[0].text().contains(textPart), qPrintable(results[0].text()));
    QVERIFY(updater.canCheckForUpdates());
}

void UpdaterTests::serverDownFailsPromptly() {
    QUrl url;
    {
        FeedServer closed; // a port that was just free: nothing listens there now
        url = closed.url();
    }
    UpdaterController updater(url, QStringLiteral("1.2.0"));
    QElapsedTimer clock;
    clock.start();
    const auto results = check(updater);
    QCOMPARE(results.size(), size_t(1));
    QCOMPARE(results[0].kind, UpdateCheckResult::Kind::Failed);
    QVERIFY(!results[0].text().isEmpty());
    QCOMPARE(results[0].title(), QStringLiteral("Couldn’t check for updates."));
    QVERIFY(clock.elapsed() < 5000);
    QVERIFY(updater.canCheckForUpdates());
}

void UpdaterTests::silentServerTimesOut() {
    FeedServer silent;
    UpdaterController updater(silent.url(), QStringLiteral("1.2.0"));
    updater.setTimeout(300ms);
    const auto results = check(updater);
    QCOMPARE(results.size(), size_t(1));
    QCOMPARE(results[0].kind, UpdateCheckResult::Kind::Failed);
    QCOMPARE(results[0].text(), QStringLiteral("The update server did not answer in time."));
}

void UpdaterTests::emptyFeedCannotCheck() {
    UpdaterController updater(QUrl(), QStringLiteral("1.2.0"));
    QVERIFY(!updater.canCheckForUpdates());
    int delivered = 0;
    updater.setPresenter([&delivered](const UpdateCheckResult&) { ++delivered; });
    updater.checkForUpdates();
    QTest::qWait(100);
    QCOMPARE(delivered, 0);
}

void UpdaterTests::cannotCheckWhileCheckRuns() {
    FeedServer server(httpResponse("", 404));
    UpdaterController updater(server.url(), QStringLiteral("1.2.0"));
    std::vector<UpdateCheckResult> results;
    updater.setPresenter(
        [&results](const UpdateCheckResult& result) { results.push_back(result); });
    updater.checkForUpdates();
    QVERIFY(!updater.canCheckForUpdates());
    updater.checkForUpdates(); // ignored: one check at a time
    QTRY_COMPARE_WITH_TIMEOUT(results.size(), size_t(1), 10000);
    QTest::qWait(100);
    QCOMPARE(results.size(), size_t(1));
    QCOMPARE(results[0].kind, UpdateCheckResult::Kind::Failed); // a 404 is no feed
    QVERIFY(updater.canCheckForUpdates());
}

void UpdaterTests::onlyWebLinksAreOffered() {
    const auto local = UpdateFeed::newestItem(appcast(enclosureItem("2.0", "file:///etc/passwd")));
    QVERIFY(local.has_value());
    QVERIFY(local->downloadUrl.isEmpty());
    const auto web = UpdateFeed::newestItem(appcast(enclosureItem("2.0")));
    QVERIFY(web.has_value());
    QCOMPARE(web->downloadUrl, QUrl(QStringLiteral("https://example.org/parvo.tar.gz")));
    QCOMPARE(web->releaseNotes, QStringLiteral("<p>Faster PDFs.</p>"));
}

void UpdaterTests::dialogOffersDownloadOnlyForNewer() {
    UpdateCheckResult result;
    result.currentVersion = QStringLiteral("1.2.0");
    result.item.version = QStringLiteral("1.3.0");
    result.item.downloadUrl = QUrl(QStringLiteral("https://example.org/parvo-1.3.0.tar.gz"));
    for (const auto kind : {UpdateCheckResult::Kind::NewerVersion,
                            UpdateCheckResult::Kind::UpToDate, UpdateCheckResult::Kind::Failed}) {
        result.kind = kind;
        QWidget parent;
        showUpdateCheckResult(result, &parent);
        auto* box = parent.findChild<QMessageBox*>();
        QVERIFY(box);
        QCOMPARE(box->text(), result.title());
        QCOMPARE(box->informativeText(), result.text());
        QStringList labels;
        for (QAbstractButton* button : box->buttons()) {
            labels << button->text().remove(u'&');
        }
        QCOMPARE(labels.contains(QStringLiteral("Download")),
                 kind == UpdateCheckResult::Kind::NewerVersion);
        QVERIFY(!box->isModal() || box->windowModality() != Qt::ApplicationModal);
    }
}

void UpdaterTests::versionsCompareNumerically_data() {
    QTest::addColumn<QString>("left");
    QTest::addColumn<QString>("right");
    QTest::addColumn<int>("order"); // -1, 0, 1; 2 when the left is no version
    QTest::newRow("tens after nines") << "1.10"
                                      << "1.9" << 1;
    QTest::newRow("missing parts are zero") << "1.2"
                                            << "1.2.0" << 0;
    QTest::newRow("leading v") << "v2.0"
                               << "1.99.99" << 1;
    QTest::newRow("patch") << "0.1.0"
                           << "0.1.1" << -1;
    QTest::newRow("suffix is no version") << "1.2beta"
                                          << "1.2" << 2;
    QTest::newRow("empty part is no version") << "1..2"
                                              << "1.2" << 2;
    QTest::newRow("sign is no version") << "+1.2"
                                        << "1.2" << 2;
}

void UpdaterTests::versionsCompareNumerically() {
    QFETCH(QString, left);
    QFETCH(QString, right);
    QFETCH(int, order);
    const auto a = UpdateFeed::parseVersion(left);
    const auto b = UpdateFeed::parseVersion(right);
    QVERIFY(b.has_value());
    if (order == 2) {
        QVERIFY(!a.has_value());
        return;
    }
    QVERIFY(a.has_value());
    QCOMPARE(UpdateFeed::compareVersions(*a, *b), order);
}

QTEST_MAIN(UpdaterTests)
#include "UpdaterTests.moc"
