#include "picture_source/frmFileList.h"

#include "picture_source/DirListBox.h"
#include "picture_source/FileListBox.h"
#include "picture_source/Logging.h"
#include "system/DirSearch.h"
#include "system/Numbers.h"
#include "system/PathCodec.h"
#include "system/Paths.h"
#include "system/Random.h"

#include <algorithm>

namespace {

const QString kPicturePattern = QStringLiteral("*.JPG;*.JPEG");

} // namespace

namespace Module1 {

qint32 lFolderIndex = 0;
qint32 lFileIndex = 0;

} // namespace Module1

frmFileList::frmFileList(std::function<int()> subFolderOption, QObject *parent)
    : QObject(parent)
    , m_subFolderOption(std::move(subFolderOption))
{
    setObjectName(QStringLiteral("ファイルリスト"));
    Dir1 = new source::DirListBox(this);
    File1 = new source::FileListBox(this);
    File1->setPattern(kPicturePattern);
    File1->setPath(Dir1->path());
    connect(Dir1, &source::DirListBox::change, this, &frmFileList::Dir1_Change);
}

frmFileList::~frmFileList() = default;

void frmFileList::ResetCursors()
{
    Module1::lFileIndex = -1;
    Module1::lFolderIndex = -1;
}

frmFileList::Cursor frmFileList::cursor() const
{
    return {Module1::lFolderIndex, Module1::lFileIndex, File1->listing()};
}

void frmFileList::moveTo(const Cursor &at)
{
    if (at.listing.folder != File1->path()) {
        // The folder is current already in the listing: the list is not read again.
        const QSignalBlocker quiet(Dir1);
        Dir1->setPath(at.listing.folder);
    }
    File1->setListing(at.listing);
    Module1::lFolderIndex = at.folderIndex;
    Module1::lFileIndex = at.fileIndex;
}

frmFileList::Cursor frmFileList::relisted(const Cursor &at) const
{
    Cursor fresh = at;
    fresh.listing = File1->listingOf(at.listing.folder, source::Listing());
    const QString name = at.listing.names.value(at.fileIndex);
    if (name.isEmpty())
        return fresh;
    // On the name, or on the last one sorting before it.
    const QStringList &names = fresh.listing.names;
    fresh.fileIndex =
        qint32(std::upper_bound(names.begin(), names.end(), name, sys::nameLess) - names.begin()) -
        1;
    return fresh;
}

bool frmFileList::listsAsBefore(const Cursor &at) const
{
    return File1->listingOf(at.listing.folder, at.listing).names == at.listing.names;
}

QString frmFileList::GetRNDFile(qint16 iType)
{
    Cursor at = cursor();
    const QString pick = pickAfter(at, iType);
    moveTo(at);
    return pick;
}

QString frmFileList::pickAfter(Cursor &at, qint16 iType)
{
    return iType == 1 ? randomPick(at) : inOrderPick(at);
}

bool frmFileList::SetFolder(const QString &strFolder)
{
    if (!sys::searchFinds(strFolder, sys::kAttrDirectory)) {
        qCInfo(source::logging::source).noquote()
            << "no such folder:" << sys::displayText(strFolder);
        return false;
    }

    int c = -1;
    m_folders = QStringList{QString()};
    File1->setPath(strFolder);
    if (File1->count() > 0) {
        c = 0;
        (*m_folders)[0] = strFolder;
    }

    if (m_subFolderOption && m_subFolderOption() == 1) {
        sys::DirSearch search;
        const QString pattern = strFolder + sys::pathSeparator() + QStringLiteral("*.*");
        for (QString name = search.first(pattern, sys::kAttrDirectory); !name.isEmpty();
             name = search.next()) {
            const QString full = strFolder + sys::pathSeparator() + name;
            if (!IsDirectory(full) || name == QLatin1String(".") || name == QLatin1String(".."))
                continue;
            File1->setPath(full);
            if (File1->count() > 0) {
                ++c;
                m_folders->resize(c + 1);
                (*m_folders)[c] = full;
            }
        }
    }
    return c >= 0;
}

bool frmFileList::IsDirectory(const QString &path) const
{
    return sys::isDirectory(path);
}

void frmFileList::Dir1_Change()
{
    File1->setPath(Dir1->path());
}

QString frmFileList::pickAt(const Cursor &at)
{
    return at.listing.folder + sys::pathSeparator() + at.listing.names.value(at.fileIndex);
}

QString frmFileList::randomPick(Cursor &at)
{
    sys::RandomSource &generator = sys::random();
    generator.randomize();
    // Nothing was ever scanned: there is no folder to draw from.
    if (!m_folders || m_folders->isEmpty())
        return QString();

    const qint32 u = static_cast<qint32>(m_folders->size()) - 1;
    const double r1 = generator.rnd();
    at.folderIndex = qBound(0, static_cast<qint32>(sys::roundHalfEven(r1 * u)), u);
    at.listing = File1->listingOf(m_folders->at(at.folderIndex), at.listing);

    const int n = static_cast<int>(at.listing.names.size());
    if (n == 0) {
        qCInfo(source::logging::source).noquote()
            << "no picture in" << sys::displayText(at.listing.folder);
        return QString();
    }
    const double r2 = generator.rnd();
    at.fileIndex = qBound(0, static_cast<qint32>(sys::roundHalfEven(r2 * n)), n);
    return pickAt(at);
}

QString frmFileList::inOrderPick(Cursor &at) const
{
    if (!m_folders || m_folders->isEmpty())
        return QString();

    const qint32 folderCount = static_cast<qint32>(m_folders->size());
    qint32 visited = 0;
    ++at.fileIndex;
    while (at.fileIndex > at.listing.names.size() - 1) {
        // Every stored folder was tried and none lists a picture any more.
        if (visited == folderCount) {
            qCInfo(source::logging::source).noquote()
                << "no stored folder holds a picture any more";
            return QString();
        }
        ++visited;
        at.fileIndex = 0;
        ++at.folderIndex;
        if (at.folderIndex > folderCount - 1 || at.folderIndex < 0)
            at.folderIndex = 0;
        at.listing = File1->listingOf(m_folders->at(at.folderIndex), at.listing);
    }
    return pickAt(at);
}
