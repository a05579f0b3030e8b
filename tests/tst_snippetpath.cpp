#include "testsupport.h"

#include "library/librarypaths.h"

#include <QDir>
#include <QFile>

// Which file stands behind a listed snippet name when its extension is not
// spelled ".spt".
class TestSnippetPath : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fileBehindAName_data();
    void fileBehindAName();
};

void TestSnippetPath::fileBehindAName_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("folders");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");

    QTest::newRow("exact spelling wins") << QStringList{"x.SPT", "x.spt"} << QStringList()
                                         << "x" << "x.spt";
    QTest::newRow("capitals first, as a sorted listing")
        << QStringList{"x.spT", "x.Spt", "x.SPt"} << QStringList() << "x" << "x.SPt";
    QTest::newRow("nothing there: the file a save creates")
        << QStringList{"y.SPT"} << QStringList() << "x" << "x.spt";
    QTest::newRow("no stand-in with a longer name")
        << QStringList{"x.old.SPT", "X.SPT"} << QStringList() << "x" << "x.spt";
    QTest::newRow("a folder is never the file")
        << QStringList{"x.Spt"} << QStringList{"x.spt", "x.SPT"} << "x" << "x.Spt";
    QTest::newRow("wildcard characters are plain characters")
        << QStringList{"[x].SPT", "x.SPT"} << QStringList() << "[x]" << "[x].SPT";
    QTest::newRow("empty name") << QStringList{".SPT"} << QStringList() << "" << ".SPT";
}

void TestSnippetPath::fileBehindAName()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, folders);
    QFETCH(QString, name);
    QFETCH(QString, expected);

#ifdef Q_OS_WIN
    // Names that differ only in letter case are one file here.
    QStringList lowerNames;
    for (const QString &name : files + folders)
        lowerNames << name.toLower();
    if (lowerNames.removeDuplicates() > 0)
        QSKIP("Windows file names ignore letter case: the row's names are one name there");
    // And a name reaches a file in any spelling: the answer is the file's own.
    for (const QString &file : files) {
        if (file.compare(expected, Qt::CaseInsensitive) == 0)
            expected = file;
    }
#endif

    QTemporaryDir category;
    for (const QString &file : files)
        QVERIFY(QFile(category.filePath(file)).open(QIODevice::WriteOnly));
    for (const QString &folder : folders)
        QVERIFY(QDir(category.path()).mkdir(folder));

    QCOMPARE(LibraryPaths::snippetFilePath(category.path(), name),
             category.path() + QDir::separator() + expected);
}

QUILLORY_TEST_MAIN(TestSnippetPath)
#include "tst_snippetpath.moc"
