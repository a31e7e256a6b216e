#include "Model/modeljson.h"
#include "messagecapture.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QtTest>

namespace {

using StringMap = QMap<QString, QString>;

} // namespace

class TestModelJson : public QObject
{
    Q_OBJECT
private slots:
    void readingRules_data();
    void readingRules();
    void textOverloadReadsUtf8();
    void versionMapKeepsNonStringsAsEmpty();
    void dumps_data();
    void dumps();
};

void TestModelJson::readingRules_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("images");
    QTest::addColumn<StringMap>("versions");

    QTest::newRow("member-name order, not text order")
        << QByteArray(R"({"images":{"b":"B","a":"A","10":"ten","9":"nine"}})")
        << QStringList {"ten", "nine", "A", "B"} << StringMap();
    QTest::newRow("a whole manifest")
        << QByteArray(R"({"versions":{"1.1":"http://h/v/1.1/P","1.0":"http://h/v/1.0/P"},)"
                      R"("images":{"x":"http://h/i/x.png"},"other":1})")
        << QStringList {"http://h/i/x.png"}
        << StringMap {{"1.0", "http://h/v/1.0/P"}, {"1.1", "http://h/v/1.1/P"}};
    QTest::newRow("non-strings are skipped")
        << QByteArray(R"({"images":{"a":5,"b":"B","c":null,"d":["x"],"e":{"f":"g"},"h":true},)"
                      R"("versions":{"9":5,"2":"two"}})")
        << QStringList {"B"} << StringMap {{"2", "two"}};
    QTest::newRow("images as an array reads as empty")
        << QByteArray(R"({"images":["http://h/a.png"],"versions":"1.0"})") << QStringList()
        << StringMap();
    QTest::newRow("top-level array")
        << QByteArray(R"([{"images":{"a":"A"}}])") << QStringList() << StringMap();
    QTest::newRow("empty reply") << QByteArray() << QStringList() << StringMap();
    QTest::newRow("not JSON") << QByteArray("<html>404 Not Found</html>") << QStringList()
                              << StringMap();
    QTest::newRow("truncated manifest")
        << QByteArray(R"({"images":{"a":"A","b":"B")") << QStringList() << StringMap();
    QTest::newRow("the service's refusal") << QByteArray("0") << QStringList() << StringMap();
    QTest::newRow("non-ASCII names and values")
        << QByteArray(R"({"images":{"é":"http://h/ü.png"}})") << QStringList {"http://h/ü.png"}
        << StringMap();
}

void TestModelJson::readingRules()
{
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, images);
    QFETCH(StringMap, versions);
    ModelJson json;
    json.setJson(reply);
    QCOMPARE(json.getStringList(QStringLiteral("images")), images);
    QCOMPARE(json.getStringMap(QStringLiteral("versions")), versions);
    QCOMPARE(json.getStringList(QStringLiteral("versions")), versions.values());
}

void TestModelJson::textOverloadReadsUtf8()
{
    ModelJson json;
    json.setJson(QString::fromUtf8(R"({"images":{"a":"http://h/Grüße.png"}})"));
    QCOMPARE(json.getStringList(QStringLiteral("images")),
        QStringList {QString::fromUtf8("http://h/Grüße.png")});
    json.setJson(QStringLiteral("not json"));
    QCOMPARE(json.getStringList(QStringLiteral("images")), QStringList());
}

void TestModelJson::versionMapKeepsNonStringsAsEmpty()
{
    ModelJson json;
    json.setJson(QByteArray(R"({"versions":{"1.1":5}})"));
    QCOMPARE(json.getStringMap(QStringLiteral("versions")), StringMap());
    json.getVersionMap();
    QCOMPARE(json.versionMap(), (StringMap {{"1.1", ""}}));
    // Entries of earlier calls stay.
    json.setJson(QByteArray(R"({"versions":{"2.0":"http://h/2"}})"));
    json.getVersionMap();
    QCOMPARE(json.versionMap(), (StringMap {{"1.1", ""}, {"2.0", "http://h/2"}}));
}

void TestModelJson::dumps_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("unparsable") << QByteArray("{nope") << "VAZIO" << QStringList();
    QTest::newRow("empty object") << QByteArray("{}") << "" << QStringList();
    QTest::newRow("every kind of value")
        << QByteArray(R"({"a":[1,"s"],"b":{"c":true},"d":null,"x":2.5})") << ""
        << QStringList {"Key:  \"a\"", "Value Array:", "Value:  1", "Value:  \"s\"", "Key:  \"b\"",
               "Value Object:", "Key:  \"c\"", "Value:  true", "Key:  \"d\"", "Value",
               "Key:  \"x\"", "Value:  2.5"};
    QTest::newRow("array document")
        << QByteArray(R"([[],{}])") << "" << QStringList {"Value: ", "Value"};
}

void TestModelJson::dumps()
{
    QFETCH(QByteArray, document);
    QFETCH(QString, result);
    QFETCH(QStringList, lines);
    ModelJson json;
    MessageCapture messages;
    const QString answer = json.verifyDocument(QJsonDocument::fromJson(document));
    QCOMPARE(answer, result);
    QCOMPARE(messages.messages(), lines);
}

QTEST_MAIN(TestModelJson)
#include "tst_modeljson.moc"
