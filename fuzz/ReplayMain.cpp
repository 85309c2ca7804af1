// Runs a fuzz target over every file of its seed corpus, so the corpus is replayed by the
// ordinary test run under the build's sanitizers.
#include <QByteArray>
#include <QDir>
#include <QFile>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR...\n", argv[0]);
        return 2;
    }
    qsizetype replayed = 0;
    for (int arg = 1; arg < argc; ++arg) {
        const QDir dir(QString::fromLocal8Bit(argv[arg]));
        const auto files = dir.entryInfoList(QDir::Files, QDir::Name);
        if (files.isEmpty()) {
            std::fprintf(stderr, "no seed files in %s\n", argv[arg]);
            return 1;
        }
        for (const auto& info : files) {
            QFile file(info.filePath());
            if (!file.open(QIODevice::ReadOnly))
                return 1;
            const QByteArray bytes = file.readAll();
            LLVMFuzzerTestOneInput(
                reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
            ++replayed;
        }
    }
    std::printf("replayed %lld inputs\n", static_cast<long long>(replayed));
    return 0;
}
