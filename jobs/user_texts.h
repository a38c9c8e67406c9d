#pragma once

#include <QCoreApplication>
#include <QString>

namespace orvana::jobs {

// The user texts the core defines, shown by the window and the command line alike: one
// definition each. They are marked for translation in the context kTextContext; UserText gives
// one in the language of the translators the program installed (orvana-dl-cli installs none, so
// it prints them as written here). The download status lines ("正在下载MP3: " ...) are not
// among them: they stay as the portal's users know them.
inline constexpr char kTextContext[] = "orvana::jobs";

// The completion texts of the three download commands.
inline constexpr char kAlbumDone[] = QT_TRANSLATE_NOOP("orvana::jobs", "指定专辑下载完毕.");
inline constexpr char kSingerDone[] = QT_TRANSLATE_NOOP("orvana::jobs", "指定歌手下载完毕.");
inline constexpr char kSelectedAlbumsDone[] =
    QT_TRANSLATE_NOOP("orvana::jobs", "所选专辑已下载完毕.");
// An address from which no album or singer ID can be read.
inline constexpr char kUnrecognisedAddress[] = QT_TRANSLATE_NOOP("orvana::jobs", "无法识别的地址");
// A separator row of the singer categories was chosen.
inline constexpr char kChooseValidCategory[] =
    QT_TRANSLATE_NOOP("orvana::jobs", "请选择一个有效的分类");
// A ticked proxy text that cannot be read: the job does not start.
inline constexpr char kInvalidProxy[] = QT_TRANSLATE_NOOP("orvana::jobs", "代理地址无效");
// Shown once before the first download of a run when no login cookie is held.
inline constexpr char kLoginHint[] =
    QT_TRANSLATE_NOOP("orvana::jobs", "提示: 尚未登录Orvana帐号, 网站只提供128kbps的歌曲文件; "
                                      "如需下载320kbps(约10M/首), 请先使用Orvana帐号登录.");
// The message box of a song link whose ID is not a number (the job goes on with the song).
inline constexpr char kSongIdNotNumeric[] =
    QT_TRANSLATE_NOOP("orvana::jobs", "song ID not numeric");
// The singer count after a singer list was fetched; %1 is the count.
inline constexpr char kSingerCount[] =
    QT_TRANSLATE_NOOP("orvana::jobs", "共获取歌手%1位, 请勾选需要下载的歌手");

// The window's status line after a stopped download.
inline constexpr char kDownloadStopped[] = QT_TRANSLATE_NOOP("orvana::jobs", "下载已停止.");
// Follows a completion text when songs failed; %1 is their count. The window's results list
// opens with a double click on the status line.
inline constexpr char kFailedSongsSuffix[] =
    QT_TRANSLATE_NOOP("orvana::jobs", " 失败 %1 首 (双击查看)");
// Follows a failure shown on the window's status line.
inline constexpr char kSeeResultsSuffix[] = QT_TRANSLATE_NOOP("orvana::jobs", " (双击查看)");

// source (one of the texts above) in the language in use. Any thread.
[[nodiscard]] inline QString UserText(const char* source) {
    return QCoreApplication::translate(kTextContext, source);
}

} // namespace orvana::jobs
