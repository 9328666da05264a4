#include "picture_source/frmFileList.h"

#include "picture_source/DirListBox.h"
#include "picture_source/FileListBox.h"
#include "picture_source/Logging.h"
#include "system/DirSearch.h"
#include "system/Numbers.h"
#include "system/PathCodec.h"
#include "system/Paths.h"
#include "system/Random.h"

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

frmFileList::Place frmFileList::place() const
{
    // The listing is what picks come from; a scan points it at a folder without the dir list.
    return {File1->path(), Module1::lFolderIndex, Module1::lFileIndex};
}

void frmFileList::returnTo(const Place &place)
{
    if (place.folder != File1->path())
        File1->setPath(place.folder);
    Module1::lFolderIndex = place.folderIndex;
    Module1::lFileIndex = place.fileIndex;
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

QString frmFileList::GetRNDFile(qint16 iType)
{
    return iType == 1 ? randomPick() : inOrderPick();
}

bool frmFileList::IsDirectory(const QString &path) const
{
    return sys::isDirectory(path);
}

void frmFileList::Dir1_Change()
{
    File1->setPath(Dir1->path());
}

QString frmFileList::currentPick() const
{
    return File1->path() + sys::pathSeparator() + File1->item(Module1::lFileIndex);
}

QString frmFileList::randomPick()
{
    sys::RandomSource &generator = sys::random();
    generator.randomize();
    // Nothing was ever scanned: there is no folder to draw from.
    if (!m_folders || m_folders->isEmpty())
        return QString();

    const qint32 u = static_cast<qint32>(m_folders->size()) - 1;
    const double r1 = generator.rnd();
    Module1::lFolderIndex = qBound(0, static_cast<qint32>(sys::roundHalfEven(r1 * u)), u);
    Dir1->setPath(m_folders->at(Module1::lFolderIndex));

    const int n = File1->count();
    if (n == 0) {
        qCInfo(source::logging::source).noquote()
            << "no picture in" << sys::displayText(File1->path());
        return QString();
    }
    const double r2 = generator.rnd();
    Module1::lFileIndex = qBound(0, static_cast<qint32>(sys::roundHalfEven(r2 * n)), n);
    return currentPick();
}

QString frmFileList::NextInOrder() const
{
    if (!m_folders || m_folders->isEmpty())
        return QString();
    const qint32 next = Module1::lFileIndex + 1;
    if (next >= 0 && next <= File1->count() - 1)
        return File1->path() + sys::pathSeparator() + File1->item(next);
    qint32 folder = Module1::lFolderIndex + 1;
    if (folder > m_folders->size() - 1 || folder < 0)
        folder = 0;
    if (m_folders->at(folder) == File1->path() && File1->count() > 0)
        return File1->path() + sys::pathSeparator() + File1->item(0);
    return QString();
}

QString frmFileList::inOrderPick()
{
    if (!m_folders || m_folders->isEmpty())
        return QString();

    const qint32 folderCount = static_cast<qint32>(m_folders->size());
    qint32 visited = 0;
    ++Module1::lFileIndex;
    while (Module1::lFileIndex > File1->count() - 1) {
        // Every stored folder was tried and none lists a picture any more.
        if (visited == folderCount) {
            qCInfo(source::logging::source).noquote()
                << "no stored folder holds a picture any more";
            return QString();
        }
        ++visited;
        Module1::lFileIndex = 0;
        ++Module1::lFolderIndex;
        if (Module1::lFolderIndex > folderCount - 1 || Module1::lFolderIndex < 0)
            Module1::lFolderIndex = 0;
        Dir1->setPath(m_folders->at(Module1::lFolderIndex));
    }
    return currentPick();
}
