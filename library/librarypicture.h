#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QTimer>

#include <memory>

namespace Platform {
class FolderWatch;
}

// A snippet as the picture holds it: what Find shows and searches.
struct HeldSnippet
{
    QString name;
    QString path;
    QString synopsis;
    QByteArray body; // UTF-8 whatever the file's encoding: half the memory of UTF-16
    QString trouble; // why it could not be read, for the user; then nothing else is held
    // What it was read at, to tell a changed file without reading it.
    qint64 size = -1;
    qint64 modified = 0;
};

struct HeldCategory
{
    QString language;
    QString category;
    QString path;
    QList<HeldSnippet> snippets;
    QString trouble; // why the folder could not be read to its end
};

// One state of the library. Copies share their data, so a reader on another
// thread keeps the state it took while the picture moves on.
struct LibrarySnapshot
{
    QStringList languages;
    QList<HeldCategory> categories; // in the window's order
    qsizetype read = 0;              // snippets read so far
    qsizetype total = 0;             // of those listed
    bool built = false;              // the first full reading has ended

    bool isComplete() const { return built; }
};

class PictureReader;

// The library in memory, read on a worker thread after start-up and kept
// fresh by the system's notifications of change; where those cannot be had,
// by a periodic comparison of stamps. Reads through the library's own reader
// and never writes.
class LibraryPicture : public QObject
{
    Q_OBJECT

public:
    explicit LibraryPicture(const QString &root, QObject *parent = nullptr);
    ~LibraryPicture() override;

    void start();
    const QString &root() const { return m_root; }
    const LibrarySnapshot &snapshot() const { return m_snapshot; }
    // False while some folder goes without a watch and re-checks stand in.
    bool isWatching() const { return !m_refused; }

    // For tests: every watch is refused, as on a network drive.
    static void setWatchesRefusedForTesting(bool refused);

Q_SIGNALS:
    // After the picture took in a change made outside: folders whose list of
    // entries changed, and snippet files changed, added or removed.
    void changedOnDisk(const QStringList &folders, const QStringList &files);
    // Any new state: progress of the first reading, or a change.
    void updated();

private:
    friend class PictureReader;
    void take(const LibrarySnapshot &snapshot, const QStringList &folders,
              const QStringList &changedFolders, const QStringList &changedFiles);
    void folderChanged(const QString &folder);
    void flush();
    void watch(const QStringList &folders);

    QString m_root;
    LibrarySnapshot m_snapshot;
    QThread m_thread;
    PictureReader *m_reader;
    std::unique_ptr<Platform::FolderWatch> m_watch;
    QSet<QString> m_watched;
    bool m_refused = false;
    bool m_askAgain = false; // a watch that lost events may have lost its folders
    QSet<QString> m_dirty;
    bool m_everything = false;
    QTimer m_settle;   // a burst of changes becomes one refresh
    QTimer m_recheck;  // where watches were refused
    qint64 m_firstDirtyMs = -1;
};
