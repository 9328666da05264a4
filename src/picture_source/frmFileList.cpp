#include "picture_source/frmFileList.h"

#include "picture_source/Module1.h"
#include "platform/DirListBox.h"
#include "platform/DirSearch.h"
#include "platform/FileListBox.h"
#include "platform/Logging.h"
#include "platform/Numbers.h"
#include "platform/Paths.h"
#include "platform/Random.h"

namespace {

const QString kPicturePattern = QStringLiteral("*.JPG;*.JPEG");

} // namespace

frmFileList::frmFileList(std::function<int()> subFolderOption, QWidget *parent)
    : QWidget(parent)
    , m_subFolderOption(std::move(subFolderOption))
{
    setWindowTitle(QStringLiteral("ファイルリスト"));
    Dir1 = new platform::DirListBox(this);
    File1 = new platform::FileListBox(this);
    File1->setPattern(kPicturePattern);
    File1->setPath(Dir1->path());
    connect(Dir1, &platform::DirListBox::change, this, &frmFileList::Dir1_Change);
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
    if (!platform::searchFinds(strFolder, platform::kAttrDirectory)) {
        qCInfo(platform::logging::source).noquote() << "no such folder:" << strFolder;
        return false;
    }

    int c = -1;
    sFolders = QStringList{QString()};
    File1->setPath(strFolder);
    if (File1->count() > 0) {
        c = 0;
        (*sFolders)[0] = strFolder;
    }

    if (m_subFolderOption && m_subFolderOption() == 1) {
        platform::DirSearch search;
        const QString pattern = strFolder + platform::pathSeparator() + QStringLiteral("*.*");
        for (QString name = search.first(pattern, platform::kAttrDirectory); !name.isEmpty();
             name = search.next()) {
            const QString full = strFolder + platform::pathSeparator() + name;
            if (!IsDirectory(full) || name == QLatin1String(".") || name == QLatin1String(".."))
                continue;
            File1->setPath(full);
            if (File1->count() > 0) {
                ++c;
                sFolders->resize(c + 1);
                (*sFolders)[c] = full;
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
    return platform::isDirectory(path);
}

void frmFileList::Dir1_Change()
{
    File1->setPath(Dir1->path());
}

QString frmFileList::currentPick() const
{
    return File1->path() + platform::pathSeparator() + File1->item(Module1::lFileIndex);
}

QString frmFileList::randomPick()
{
    platform::RandomSource &generator = platform::random();
    generator.randomize();
    // Nothing was ever scanned: there is no folder to draw from.
    if (!sFolders || sFolders->isEmpty())
        return QString();

    const qint32 u = static_cast<qint32>(sFolders->size()) - 1;
    const double r1 = generator.rnd();
    Module1::lFolderIndex = qBound(0, static_cast<qint32>(platform::roundHalfEven(r1 * u)), u);
    Dir1->setPath(sFolders->at(Module1::lFolderIndex));

    const int n = File1->count();
    if (n == 0) {
        qCInfo(platform::logging::source).noquote() << "no picture in" << File1->path();
        return QString();
    }
    const double r2 = generator.rnd();
    Module1::lFileIndex = qBound(0, static_cast<qint32>(platform::roundHalfEven(r2 * n)), n);
    return currentPick();
}

QString frmFileList::NextInOrder() const
{
    if (!sFolders || sFolders->isEmpty())
        return QString();
    const qint32 next = Module1::lFileIndex + 1;
    if (next >= 0 && next <= File1->count() - 1)
        return File1->path() + platform::pathSeparator() + File1->item(next);
    qint32 folder = Module1::lFolderIndex + 1;
    if (folder > sFolders->size() - 1 || folder < 0)
        folder = 0;
    if (sFolders->at(folder) == File1->path() && File1->count() > 0)
        return File1->path() + platform::pathSeparator() + File1->item(0);
    return QString();
}

QString frmFileList::inOrderPick()
{
    if (!sFolders || sFolders->isEmpty())
        return QString();

    const qint32 folderCount = static_cast<qint32>(sFolders->size());
    qint32 visited = 0;
    ++Module1::lFileIndex;
    while (Module1::lFileIndex > File1->count() - 1) {
        // Every stored folder was tried and none lists a picture any more.
        if (visited == folderCount) {
            qCInfo(platform::logging::source).noquote()
                << "no stored folder holds a picture any more";
            return QString();
        }
        ++visited;
        Module1::lFileIndex = 0;
        ++Module1::lFolderIndex;
        if (Module1::lFolderIndex > folderCount - 1 || Module1::lFolderIndex < 0)
            Module1::lFolderIndex = 0;
        Dir1->setPath(sFolders->at(Module1::lFolderIndex));
    }
    return currentPick();
}
