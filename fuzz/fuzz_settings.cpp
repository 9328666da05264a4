// Arbitrary bytes as a settings file, then a random run of reads, writes and deletions on it in
// memory and a commit. What is written reads back, what is deleted is gone, a refused write
// changes nothing, every line a write did not touch stays where it was, and the file afterwards
// holds exactly what the document held.
#include "TestSupport.h"
#include "settings/PrivateProfile.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QList>
#include <QString>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <unistd.h>

namespace profile = settings::profile;

namespace {

QString file;

QList<QByteArray> lines(QByteArray data)
{
    if (data.startsWith("\xEF\xBB\xBF"))
        data.remove(0, 3);
    QList<QByteArray> result = data.split('\n');
    if (data.isEmpty() || data.endsWith('\n'))
        result.removeLast();
    // CRs at a line's end are taken as part of its line end: a rewrite may settle stray ones.
    for (QByteArray &line : result) {
        while (line.endsWith('\r'))
            line.chop(1);
    }
    return result;
}

// Whether `after` is `before` with one line changed, one line put in, or a section and its
// first key added at the end.
bool onlyOneEdit(const QList<QByteArray> &before, const QList<QByteArray> &after)
{
    const qsizetype grown = after.size() - before.size();
    if (grown == 0) {
        int differing = 0;
        for (qsizetype i = 0; i < before.size(); ++i)
            differing += before[i] != after[i];
        return differing <= 1;
    }
    if (grown == 1) {
        for (qsizetype skip = 0; skip < after.size(); ++skip) {
            QList<QByteArray> rest = after;
            rest.removeAt(skip);
            if (rest == before)
                return true;
        }
        return false;
    }
    return grown == 2 && after.mid(0, before.size()) == before;
}

QString text(FuzzedDataProvider &in, size_t most)
{
    return QString::fromUtf8(QByteArray::fromStdString(in.ConsumeRandomLengthString(most)));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    file = QStringLiteral("/tmp/pelmora-fuzz-settings-%1.ini").arg(::getpid());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    {
        const std::string content = in.ConsumeRandomLengthString(256 * 1024);
        if (!writeAll(file, QByteArray::fromStdString(content)))
            std::abort();
    }
    profile::Document doc = profile::Document::load(file);
    const int operations = in.ConsumeIntegralInRange(1, 12);
    for (int op = 0; op < operations && in.remaining_bytes() > 0; ++op) {
        const QString section = text(in, 12);
        const QString key = text(in, 12);
        switch (in.ConsumeIntegralInRange(0, 4)) {
        case 0:
            doc.value(section, key);
            break;
        case 1: {
            const QString value = text(in, 40);
            const QByteArray before = doc.serialize();
            if (doc.setValue(section, key, value)) {
                if (doc.value(section, key) != value)
                    std::abort(); // a written key must read back exactly
                if (!onlyOneEdit(lines(before), lines(doc.serialize())))
                    std::abort(); // lines the write did not touch must stay
            } else if (doc.serialize() != before) {
                std::abort(); // a refused write changes nothing
            }
            break;
        }
        case 2:
            doc.removeKey(section, key);
            if (doc.value(section, key))
                std::abort();
            break;
        case 3:
            doc.removeSection(section);
            if (!doc.keys(section).isEmpty())
                std::abort();
            break;
        default:
            doc.keys(section);
            break;
        }
    }
    // The commit writes exactly what the document holds, or leaves the file alone when the
    // document holds nothing new.
    const QByteArray expected = doc.changed() ? doc.serialize() : readAll(file);
    if (!profile::commit(file, doc) || doc.changed() || readAll(file) != expected)
        std::abort();
    return 0;
}
