#include <QtTest>

#include "projectidentity.h"

class TestProjectIdentity : public QObject
{
    Q_OBJECT
private slots:
    void identity_data();
    void identity();
};

void TestProjectIdentity::identity_data()
{
    QTest::addColumn<QList<QByteArray>>("contents");
    QTest::addColumn<QString>("expected");
    // Expected digests from md5sum over the concatenated bytes.
    QTest::newRow("no entries") << QList<QByteArray>() << "d41d8cd98f00b204e9800998ecf8427e";
    QTest::newRow("empty entries only") << QList<QByteArray>{QByteArray(), QByteArray()}
                                        << "d41d8cd98f00b204e9800998ecf8427e";
    QTest::newRow("one entry") << QList<QByteArray>{"abc"} << "900150983cd24fb0d6963f7d28e17f72";
    QTest::newRow("joined without separator") << QList<QByteArray>{"a", "bc"}
                                              << "900150983cd24fb0d6963f7d28e17f72";
    QTest::newRow("order counts") << QList<QByteArray>{"bc", "a"} << "b64eab8ce39e013604e243089c687e4f";
    QTest::newRow("two files") << QList<QByteArray>{"AAA", "BB"} << "9f3b32bbe20334f28d59d38adf81be89";
    QTest::newRow("two files swapped") << QList<QByteArray>{"BB", "AAA"}
                                       << "92c5eb05f34bd034a730f547c0c8ebbf";
    QTest::newRow("zero byte kept") << QList<QByteArray>{QByteArray("a\0", 2), "b"}
                                    << "70350f6027bce3713f6b76473084309b";
}

void TestProjectIdentity::identity()
{
    QFETCH(QList<QByteArray>, contents);
    QFETCH(QString, expected);
    QCOMPARE(ProjectIdentity::of(contents), expected);

    ProjectIdentity streamed;
    for (const QByteArray &c : contents)
        streamed.addContent(c);
    QCOMPARE(streamed.result(), expected);
}

QTEST_APPLESS_MAIN(TestProjectIdentity)
#include "tst_projectidentity.moc"
