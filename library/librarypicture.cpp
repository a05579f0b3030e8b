#include "library/librarypicture.h"

#include "library/librarylisting.h"
#include "library/librarypaths.h"
#include "library/platform.h"
#include "library/snippetfile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QMetaObject>

#include <algorithm>
#include <atomic>
#include <utility>

namespace {

std::atomic<bool> watchesRefused{false};

// Long enough to gather a checkout's burst, short enough to feel immediate.
constexpr int settleMs = 150;
constexpr qint64 longestWaitMs = 1000;
constexpr int recheckMs = 1500;
constexpr qint64 progressEveryMs = 100;

qint64 stampOf(const QFileInfo &info)
{
    return info.exists() ? info.lastModified().toMSecsSinceEpoch() : -1;
}

// The window's order: "Default" first, then by character code.
bool before(const QString &a, const QString &b)
{
    const bool aDefault = a == LibraryListing::defaultEntry;
    const bool bDefault = b == LibraryListing::defaultEntry;
    if (aDefault != bDefault)
        return aDefault;
    return a < b;
}

bool categoryBefore(const HeldCategory &a, const HeldCategory &b)
{
    if (a.language != b.language)
        return before(a.language, b.language);
    return before(a.category, b.category);
}

// Paths are joined with the native separator; on POSIX a name may hold a
// backslash, so only the native one cuts.
QString parentOf(const QString &path)
{
    qsizetype cut = path.lastIndexOf(QLatin1Char('/'));
    if (QDir::separator() != QLatin1Char('/'))
        cut = std::max(cut, path.lastIndexOf(QDir::separator()));
    return cut > 0 ? path.left(cut) : path;
}

// A folder that vanished is reported by its own watch, or seen by its own
// stamp: the folder holding it has to list again.
void addParents(QSet<QString> &dirty, const QString &root)
{
    for (const QString &folder : QSet<QString>(dirty)) {
        if (folder != root)
            dirty.insert(parentOf(folder));
    }
}

struct Changes
{
    QStringList folders;
    QStringList files;
};

} // namespace

// Lives on the picture's one long-lived thread: a thread that ends may not
// own thread-local state in the Windows build, and reading in one place keeps
// the order of refreshes plain.
class PictureReader : public QObject
{
public:
    PictureReader(const QString &root, LibraryPicture *picture)
        : m_root(root)
        , m_picture(picture)
    {
    }

    void build();
    void refresh(const QSet<QString> &dirty, bool everything);
    void recheck();

private:
    void relistLanguages(Changes &changes, bool deep);
    void relistCategories(const QString &language, Changes &changes, bool deep);
    void refreshCategory(qsizetype index, Changes &changes);
    HeldCategory readCategory(const QString &language, const QString &category,
                              const QList<HeldSnippet> &old, Changes &changes);
    void dropCategory(qsizetype index, Changes &changes);
    qsizetype indexOf(const QString &language, const QString &category) const;
    QStringList folders() const;
    void publish(const Changes &changes);
    void progress();
    bool stopping() const { return QThread::currentThread()->isInterruptionRequested(); }

    QString m_root;
    LibraryPicture *m_picture;
    LibrarySnapshot m_model;
    QHash<QString, qint64> m_folderStamps;
    QElapsedTimer m_sinceProgress;
};

qsizetype PictureReader::indexOf(const QString &language, const QString &category) const
{
    const HeldCategory key{language, category, {}, {}, {}};
    const auto it = std::lower_bound(m_model.categories.begin(), m_model.categories.end(), key,
                                     categoryBefore);
    if (it == m_model.categories.end() || it->language != language || it->category != category)
        return -1;
    return it - m_model.categories.begin();
}

QStringList PictureReader::folders() const
{
    QStringList all{m_root};
    for (const QString &language : m_model.languages)
        all.append(LibraryPaths::languagePath(m_root, language));
    for (const HeldCategory &category : m_model.categories)
        all.append(category.path);
    return all;
}

void PictureReader::publish(const Changes &changes)
{
    const QStringList watched = folders();
    for (const QString &folder : watched) {
        if (!m_folderStamps.contains(folder))
            m_folderStamps.insert(folder, stampOf(QFileInfo(folder)));
    }
    QMetaObject::invokeMethod(
        m_picture,
        [picture = m_picture, snapshot = m_model, watched, changes] {
            picture->take(snapshot, watched, changes.folders, changes.files);
        },
        Qt::QueuedConnection);
}

void PictureReader::progress()
{
    if (m_sinceProgress.elapsed() < progressEveryMs)
        return;
    m_sinceProgress.restart();
    QMetaObject::invokeMethod(
        m_picture, [picture = m_picture, snapshot = m_model] { picture->take(snapshot, {}, {}, {}); },
        Qt::QueuedConnection);
}

void PictureReader::build()
{
    // Counted first, so that Find can say how far the reading has come.
    QList<std::pair<QString, QString>> places;
    const QStringList languages = LibraryListing::existingFolderNames(m_root);
    for (const QString &language : languages) {
        if (stopping())
            return;
        for (const QString &category :
             LibraryListing::existingFolderNames(LibraryPaths::languagePath(m_root, language))) {
            places.append({language, category});
            m_model.total += LibraryListing::CategoryFolder(
                                 LibraryPaths::categoryPath(m_root, language, category))
                                 .snippets()
                                 .size();
        }
    }
    m_model.languages = languages;
    m_sinceProgress.start();
    Changes ignored;
    for (const auto &[language, category] : std::as_const(places)) {
        if (stopping())
            return;
        HeldCategory held = readCategory(language, category, {}, ignored);
        const auto at = std::lower_bound(m_model.categories.begin(), m_model.categories.end(),
                                         held, categoryBefore);
        m_model.categories.insert(at, std::move(held));
    }
    m_model.built = true;
    m_model.read = m_model.total;
    publish({}); // the watches start from here
    // What changed while it was read is taken in by one pass over the stamps.
    refresh({}, true);
}

HeldCategory PictureReader::readCategory(const QString &language, const QString &category,
                                         const QList<HeldSnippet> &old, Changes &changes)
{
    HeldCategory held{language, category, LibraryPaths::categoryPath(m_root, language, category),
                      {}, {}};
    QHash<QString, const HeldSnippet *> before;
    for (const HeldSnippet &snippet : old)
        before.insert(snippet.name, &snippet);
    const LibraryListing::CategoryFolder folder(held.path);
    held.trouble = folder.errorString();
    QStringList names;
    for (const LibraryListing::SnippetEntry &entry : folder.snippets()) {
        if (stopping())
            break; // the window is closing: what was read no longer matters
        if (entry.readByOther)
            continue; // listed twice, read once
        names.append(entry.name);
        const QFileInfo info(entry.path);
        const HeldSnippet *was = before.value(entry.name);
        if (was && was->path == entry.path && was->size == info.size()
            && was->modified == stampOf(info)) {
            held.snippets.append(*was);
            continue;
        }
        HeldSnippet snippet{entry.name, entry.path, {}, {}, {}, info.size(), stampOf(info)};
        const SnippetFile::Bytes read = folder.read(entry);
        if (read.status == SnippetFile::ReadStatus::Loaded) {
            const SnippetText text = SnippetFile::parse(SnippetFile::decode(read.bytes));
            snippet.synopsis = text.synopsis;
            snippet.body = text.body.toUtf8();
            snippet.body.squeeze(); // the encoder reserves three bytes a character
            snippet.size = read.bytes.size();
            snippet.modified = read.modified.toMSecsSinceEpoch();
        } else if (read.status == SnippetFile::ReadStatus::Missing) {
            names.removeLast();
            continue; // gone since the listing
        } else {
            snippet.trouble = read.errorString.isEmpty()
                ? QCoreApplication::translate("LibraryPicture", "not a file that can be read")
                : read.errorString;
        }
        held.snippets.append(std::move(snippet));
        changes.files.append(entry.path);
        if (!m_model.built) {
            ++m_model.read;
            progress();
        }
    }
    // The window's order, which is that of the file names.
    std::sort(held.snippets.begin(), held.snippets.end(),
              [](const HeldSnippet &a, const HeldSnippet &b) { return a.path < b.path; });
    QSet<QString> now(names.begin(), names.end());
    bool listChanged = now.size() != old.size();
    for (const HeldSnippet &snippet : old) {
        if (!now.contains(snippet.name)) {
            changes.files.append(snippet.path);
            listChanged = true;
        }
    }
    if (listChanged)
        changes.folders.append(held.path);
    return held;
}

void PictureReader::dropCategory(qsizetype index, Changes &changes)
{
    for (const HeldSnippet &snippet : m_model.categories.at(index).snippets)
        changes.files.append(snippet.path);
    changes.folders.append(m_model.categories.at(index).path);
    m_folderStamps.remove(m_model.categories.at(index).path);
    m_model.categories.removeAt(index);
}

void PictureReader::relistCategories(const QString &language, Changes &changes, bool deep)
{
    const QString path = LibraryPaths::languagePath(m_root, language);
    const QStringList names = LibraryListing::existingFolderNames(path);
    QStringList held;
    for (const HeldCategory &category : std::as_const(m_model.categories)) {
        if (category.language == language)
            held.append(category.category);
    }
    if (names != held)
        changes.folders.append(path);
    for (const QString &gone : held) {
        if (!names.contains(gone))
            dropCategory(indexOf(language, gone), changes);
    }
    for (const QString &category : names) {
        const qsizetype index = indexOf(language, category);
        if (index >= 0) {
            if (deep)
                refreshCategory(index, changes);
            continue;
        }
        HeldCategory fresh = readCategory(language, category, {}, changes);
        const auto at = std::lower_bound(m_model.categories.begin(), m_model.categories.end(),
                                         fresh, categoryBefore);
        m_model.categories.insert(at, std::move(fresh));
    }
}

void PictureReader::relistLanguages(Changes &changes, bool deep)
{
    const QStringList names = LibraryListing::existingFolderNames(m_root);
    if (names != m_model.languages)
        changes.folders.append(m_root);
    for (const QString &gone : std::as_const(m_model.languages)) {
        if (names.contains(gone))
            continue;
        changes.folders.append(LibraryPaths::languagePath(m_root, gone));
        m_folderStamps.remove(LibraryPaths::languagePath(m_root, gone));
        for (qsizetype i = m_model.categories.size() - 1; i >= 0; --i) {
            if (m_model.categories.at(i).language == gone)
                dropCategory(i, changes);
        }
    }
    const QStringList old = m_model.languages;
    m_model.languages = names;
    for (const QString &language : names) {
        if (deep || !old.contains(language))
            relistCategories(language, changes, deep);
    }
}

void PictureReader::refreshCategory(qsizetype index, Changes &changes)
{
    const HeldCategory &was = m_model.categories.at(index);
    HeldCategory now = readCategory(was.language, was.category, was.snippets, changes);
    m_model.categories[index] = std::move(now);
}

void PictureReader::refresh(const QSet<QString> &dirty, bool everything)
{
    Changes changes;
    if (everything || dirty.contains(m_root))
        relistLanguages(changes, everything);
    if (!everything) {
        for (const QString &language : std::as_const(m_model.languages)) {
            if (dirty.contains(LibraryPaths::languagePath(m_root, language)))
                relistCategories(language, changes, false);
        }
        for (qsizetype i = 0; i < m_model.categories.size(); ++i) {
            if (dirty.contains(m_model.categories.at(i).path))
                refreshCategory(i, changes);
        }
    }
    for (const QString &folder : std::as_const(changes.folders))
        m_folderStamps.insert(folder, stampOf(QFileInfo(folder)));
    changes.folders.removeDuplicates();
    changes.files.removeDuplicates();
    publish(changes);
}

void PictureReader::recheck()
{
    // A folder's stamp moves when an entry comes or goes; a file written in
    // place moves only its own, so each category's files are looked at too.
    QSet<QString> dirty;
    for (auto it = m_folderStamps.begin(); it != m_folderStamps.end(); ++it) {
        const qint64 now = stampOf(QFileInfo(it.key()));
        if (now != it.value()) {
            dirty.insert(it.key());
            it.value() = now;
        }
    }
    for (const HeldCategory &category : std::as_const(m_model.categories)) {
        if (dirty.contains(category.path))
            continue;
        for (const HeldSnippet &snippet : category.snippets) {
            const QFileInfo info(snippet.path);
            if (snippet.trouble.isEmpty()
                && (info.size() != snippet.size || stampOf(info) != snippet.modified)) {
                dirty.insert(category.path);
                break;
            }
        }
    }
    if (dirty.isEmpty())
        return;
    addParents(dirty, m_root);
    refresh(dirty, false);
}

void LibraryPicture::setWatchesRefusedForTesting(bool refused)
{
    watchesRefused = refused;
}

LibraryPicture::LibraryPicture(const QString &root, QObject *parent)
    : QObject(parent)
    , m_root(root)
    , m_reader(new PictureReader(root, this))
{
    m_reader->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_reader, &QObject::deleteLater);
    m_thread.setObjectName(QStringLiteral("library"));
    m_settle.setSingleShot(true);
    m_settle.setInterval(settleMs);
    connect(&m_settle, &QTimer::timeout, this, &LibraryPicture::flush);
    m_recheck.setInterval(recheckMs);
    connect(&m_recheck, &QTimer::timeout, this, [this] {
        QMetaObject::invokeMethod(m_reader, [reader = m_reader] { reader->recheck(); },
                                  Qt::QueuedConnection);
    });
}

LibraryPicture::~LibraryPicture()
{
    if (!m_thread.isRunning()) {
        delete m_reader; // never started: no thread to delete it
        return;
    }
    m_thread.requestInterruption();
    m_thread.quit();
    m_thread.wait();
}

void LibraryPicture::start()
{
    if (m_thread.isRunning())
        return;
    m_watch = std::make_unique<Platform::FolderWatch>(
        [this](const QString &folder) { folderChanged(folder); });
    m_thread.start(QThread::LowPriority);
    QMetaObject::invokeMethod(m_reader, [reader = m_reader] { reader->build(); },
                              Qt::QueuedConnection);
}

void LibraryPicture::take(const LibrarySnapshot &snapshot, const QStringList &folders,
                          const QStringList &changedFolders, const QStringList &changedFiles)
{
    // A re-check that found nothing new starts no search.
    const bool news = !changedFolders.isEmpty() || !changedFiles.isEmpty()
        || snapshot.read != m_snapshot.read || snapshot.total != m_snapshot.total
        || snapshot.built != m_snapshot.built;
    m_snapshot = snapshot;
    if (!folders.isEmpty())
        watch(folders);
    if (news)
        Q_EMIT updated();
    if (!changedFolders.isEmpty() || !changedFiles.isEmpty())
        Q_EMIT changedOnDisk(changedFolders, changedFiles);
}

void LibraryPicture::watch(const QStringList &folders)
{
    const QSet<QString> wanted(folders.begin(), folders.end());
    for (auto it = m_watched.begin(); it != m_watched.end();) {
        if (wanted.contains(*it)) {
            ++it;
            continue;
        }
        m_watch->remove(*it);
        it = m_watched.erase(it);
    }
    const bool askAgain = std::exchange(m_askAgain, false);
    for (const QString &folder : folders) {
        if (m_watched.contains(folder) && !askAgain)
            continue;
        if (!watchesRefused && m_watch->add(folder)) {
            m_watched.insert(folder);
        } else {
            m_watched.remove(folder);
            m_refused = true;
        }
    }
    if (m_refused && !m_recheck.isActive())
        m_recheck.start();
}

void LibraryPicture::folderChanged(const QString &folder)
{
    if (folder.isEmpty()) {
        m_everything = true;
        m_askAgain = true;
    } else {
        m_dirty.insert(folder);
    }
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (m_firstDirtyMs < 0)
        m_firstDirtyMs = now;
    // A steady stream of changes still gets a refresh now and then.
    if (now - m_firstDirtyMs >= longestWaitMs)
        flush();
    else
        m_settle.start();
}

void LibraryPicture::flush()
{
    m_settle.stop();
    m_firstDirtyMs = -1;
    if (m_dirty.isEmpty() && !m_everything)
        return;
    QSet<QString> dirty = std::exchange(m_dirty, {});
    addParents(dirty, m_root);
    const bool everything = std::exchange(m_everything, false);
    QMetaObject::invokeMethod(
        m_reader, [reader = m_reader, dirty, everything] { reader->refresh(dirty, everything); },
        Qt::QueuedConnection);
}
