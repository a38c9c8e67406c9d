#include "app/frm_result.h"

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace orvana::app {

namespace {

enum Column { kAlbum, kSong, kState, kFile };

// An album or song as the rows name it: its title, or its ID when the portal gave none.
QString nameOf(const QString& title, const QString& id) {
    return title.isEmpty() ? id : title;
}

} // namespace

frmResult::frmResult(QWidget* owner) : QWidget(owner, Qt::Window) {
    setObjectName(QStringLiteral("frmResult"));
    setWindowTitle(Caption());
    resize(760, 380);

    lstResult = new QTreeWidget(this);
    lstResult->setObjectName(QStringLiteral("lstResult"));
    lstResult->setHeaderLabels({tr("专辑"), tr("歌曲"), tr("状态"), tr("文件")});
    lstResult->setRootIsDecorated(false);
    lstResult->setUniformRowHeights(true);
    // Paths are long: their ends (the file names) matter most.
    lstResult->setTextElideMode(Qt::ElideMiddle);
    lstResult->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lstResult->header()->resizeSection(kAlbum, 160);
    lstResult->header()->resizeSection(kSong, 160);
    lstResult->header()->resizeSection(kState, 200);

    auto button = [this](const char* name, const QString& caption) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        return b;
    };
    cmdRetry = button("cmdRetry", tr("重试失败项"));
    cmdOpenFolder = button("cmdOpenFolder", tr("打开文件夹"));
    cmdCopyFailures = button("cmdCopyFailures", tr("复制失败列表"));
    cmdClose = button("cmdClose", tr("关闭"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdRetry);
    buttons->addWidget(cmdOpenFolder);
    buttons->addWidget(cmdCopyFailures);
    buttons->addStretch();
    buttons->addWidget(cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lstResult);
    layout->addLayout(buttons);

    connect(cmdRetry, &QPushButton::clicked, this, &frmResult::retryRequested);
    connect(cmdOpenFolder, &QPushButton::clicked, this, &frmResult::openFolderRequested);
    connect(cmdCopyFailures, &QPushButton::clicked, this, &frmResult::copyFailures);
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);
    updateButtons();
}

QString frmResult::Caption() {
    return tr("下载结果");
}

void frmResult::clear() {
    lstResult->clear();
    m_failures.clear();
    updateButtons();
}

void frmResult::addSong(const jobs::SongEvent& song) {
    const QString album = nameOf(song.album.title, song.album.id);
    const QString title = nameOf(song.title, song.songId);
    const QString file = QDir::toNativeSeparators(song.path);
    switch (song.state) {
    case jobs::SongState::Saved:
        return addRow(album, title, tr("已保存"), file);
    case jobs::SongState::Present:
        return addRow(album, title, tr("已存在"), file);
    case jobs::SongState::Archived:
        return addRow(album, title, tr("已存在 (记录)"), file);
    case jobs::SongState::Planned:
        return addRow(album, title, tr("将下载"), file);
    case jobs::SongState::Stopped:
        return addRow(album, title, tr("已停止"), file);
    case jobs::SongState::Failed:
        return addFailure(album, title, song.reason, file);
    }
}

void frmResult::addError(const jobs::JobError& error) {
    addFailure(nameOf(error.album.title, error.album.id), QString(), error.message,
               QDir::toNativeSeparators(error.album.folder));
}

void frmResult::addFailure(const QString& album, const QString& song, const QString& reason,
                           const QString& file) {
    addRow(album, song, tr("失败: %1").arg(reason), file);
    if (!song.isEmpty())
        m_failures.append(album + u" / " + song + u": " + reason);
    else if (!album.isEmpty())
        m_failures.append(album + u": " + reason);
    else
        m_failures.append(reason);
    updateButtons();
}

void frmResult::addRow(const QString& album, const QString& song, const QString& state,
                       const QString& file) {
    auto* item = new QTreeWidgetItem(lstResult, {album, song, state, file});
    item->setToolTip(kState, state);
    item->setToolTip(kFile, file);
}

void frmResult::setDownloading(bool downloading) {
    m_downloading = downloading;
    updateButtons();
}

void frmResult::copyFailures() const {
    QGuiApplication::clipboard()->setText(m_failures.join(u'\n'));
}

void frmResult::updateButtons() {
    cmdRetry->setEnabled(!m_downloading && !m_failures.isEmpty());
    cmdCopyFailures->setEnabled(!m_failures.isEmpty());
}

} // namespace orvana::app
