// Runs the fuzz target over saved inputs without libFuzzer, so that an
// ordinary build replays the corpus as a regression test.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv);
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

int main(int argc, char *argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE-OR-FOLDER...\n", argv[0]);
        return 2;
    }
    QStringList inputs;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QFile::decodeName(argv[i]);
        if (QFileInfo(arg).isDir()) {
            QStringList files = QDir(arg).entryList(QDir::Files | QDir::Hidden, QDir::Name);
            for (const QString &file : files)
                inputs << QDir(arg).filePath(file);
        } else {
            inputs << arg;
        }
    }
    if (inputs.isEmpty()) {
        std::fprintf(stderr, "no inputs found\n");
        return 2;
    }

    LLVMFuzzerInitialize(&argc, &argv);
    for (const QString &input : inputs) {
        QFile file(input);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", qPrintable(input));
            return 2;
        }
        const QByteArray bytes = file.readAll();
        // Named first, so that a failing input is easy to find in the log.
        std::fprintf(stderr, "%s\n", qPrintable(input));
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(bytes.constData()),
                               std::size_t(bytes.size()));
    }
    std::fprintf(stderr, "%lld inputs replayed\n", static_cast<long long>(inputs.size()));
    // The fuzz target never ends the application; here it must, or the leak
    // checker takes the font database's memory for leaked.
    delete QCoreApplication::instance();
    return 0;
}
