<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>orvana::app::BoxPresenter</name>
    <message>
        <source>是(&amp;Y)</source>
        <translation>&amp;Yes</translation>
    </message>
    <message>
        <source>否(&amp;N)</source>
        <translation>&amp;No</translation>
    </message>
</context>
<context>
    <name>orvana::app::frmBrowser</name>
    <message>
        <source>登录Orvana之后,直接关闭本窗口即可</source>
        <translation>After logging in to Orvana, just close this window</translation>
    </message>
    <message>
        <source>无法保存登录信息, 登录只在本次运行中有效.</source>
        <translation>Cannot save the login; it lasts for this run only.</translation>
    </message>
</context>
<context>
    <name>orvana::app::frmMain</name>
    <message>
        <source>使用Orvana帐号登录</source>
        <translation>Log in to Orvana</translation>
    </message>
    <message>
        <source>下载该歌手</source>
        <translation>Get this singer</translation>
    </message>
    <message>
        <source>下载该专辑</source>
        <translation>Get this album</translation>
    </message>
    <message>
        <source>获取歌手列表</source>
        <translation>List singers</translation>
    </message>
    <message>
        <source>开始下载</source>
        <translation>Start download</translation>
    </message>
    <message>
        <source>全部歌手</source>
        <translation>All singers</translation>
    </message>
    <message>
        <source>华语男歌手</source>
        <translation>Chinese male</translation>
    </message>
    <message>
        <source>华语女歌手</source>
        <translation>Chinese female</translation>
    </message>
    <message>
        <source>华语乐队组合</source>
        <translation>Chinese groups</translation>
    </message>
    <message>
        <source>欧美男歌手</source>
        <translation>Western male</translation>
    </message>
    <message>
        <source>欧美女歌手</source>
        <translation>Western female</translation>
    </message>
    <message>
        <source>欧美乐队组合</source>
        <translation>Western groups</translation>
    </message>
    <message>
        <source>日韩男歌手</source>
        <translation>JP/KR male</translation>
    </message>
    <message>
        <source>日韩女歌手</source>
        <translation>JP/KR female</translation>
    </message>
    <message>
        <source>日韩乐队组合</source>
        <translation>JP/KR groups</translation>
    </message>
    <message>
        <source>其他歌手</source>
        <translation>Other singers</translation>
    </message>
    <message>
        <source>Orvana音乐 专辑打包下载工具 1.0</source>
        <translation>Orvana Music Album Downloader 1.0</translation>
    </message>
    <message>
        <source>准备下载</source>
        <translation>Before downloading</translation>
    </message>
    <message>
        <source>如果需要下载320kbps(约10M/首)，请先</source>
        <translation>For 320 kbps files (about 10 MB a song), first</translation>
    </message>
    <message>
        <source>使用HTTP代理下载</source>
        <translation>Use HTTP proxy</translation>
    </message>
    <message>
        <source>下载指定歌手 / 专辑</source>
        <translation>Download a singer / an album</translation>
    </message>
    <message>
        <source>歌手全部专辑 打包下载</source>
        <translation>All albums of singers</translation>
    </message>
    <message>
        <source>分类</source>
        <translation>Kind</translation>
    </message>
    <message>
        <source>请先选择一个分类，获取歌手列表</source>
        <translation>Choose a kind first, then list its singers</translation>
    </message>
    <message>
        <source>Orvana音乐 专辑打包下载 · 就绪</source>
        <translation>Orvana Music album downloader · Ready</translation>
    </message>
    <message>
        <source>无法创建下载文件夹: %1</source>
        <translation>Cannot create the download folder: %1</translation>
    </message>
    <message>
        <source>请等待上一个操作结束.</source>
        <translation>Please wait until the previous task has ended.</translation>
    </message>
    <message>
        <source>获取歌手列表失败: %1</source>
        <translation>Cannot list the singers: %1</translation>
    </message>
    <message>
        <source>查看下载结果</source>
        <translation>Show download results</translation>
    </message>
    <message>
        <source>打开下载文件夹</source>
        <translation>Open download folder</translation>
    </message>
    <message>
        <source>停止下载</source>
        <translation>Stop download</translation>
    </message>
    <message>
        <source>停止当前下载? 已保存的歌曲会保留.</source>
        <translation>Stop the current download? The songs saved so far are kept.</translation>
    </message>
    <message>
        <source>Orvana 专辑下载</source>
        <translation>Orvana Album Downloader</translation>
    </message>
    <message>
        <source>无法使用下载记录: %1</source>
        <translation>Cannot use the download archive: %1</translation>
    </message>
</context>
<context>
    <name>orvana::app::frmResult</name>
    <message>
        <source>专辑</source>
        <translation>Album</translation>
    </message>
    <message>
        <source>歌曲</source>
        <translation>Song</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>State</translation>
    </message>
    <message>
        <source>文件</source>
        <translation>File</translation>
    </message>
    <message>
        <source>重试失败项</source>
        <translation>Retry failed</translation>
    </message>
    <message>
        <source>打开文件夹</source>
        <translation>Open folder</translation>
    </message>
    <message>
        <source>复制失败列表</source>
        <translation>Copy failures</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>下载结果</source>
        <translation>Download results</translation>
    </message>
    <message>
        <source>已保存</source>
        <translation>Saved</translation>
    </message>
    <message>
        <source>已存在</source>
        <translation>Already there</translation>
    </message>
    <message>
        <source>将下载</source>
        <translation>Would be downloaded</translation>
    </message>
    <message>
        <source>已停止</source>
        <translation>Stopped</translation>
    </message>
    <message>
        <source>失败: %1</source>
        <translation>Failed: %1</translation>
    </message>
    <message>
        <source>已存在 (记录)</source>
        <translation>Present (archived)</translation>
    </message>
</context>
<context>
    <name>orvana::jobs</name>
    <message>
        <source>指定专辑下载完毕.</source>
        <translation>The album has been downloaded.</translation>
    </message>
    <message>
        <source>指定歌手下载完毕.</source>
        <translation>The singer&apos;s albums have been downloaded.</translation>
    </message>
    <message>
        <source>所选专辑已下载完毕.</source>
        <translation>The ticked singers&apos; albums have been downloaded.</translation>
    </message>
    <message>
        <source>无法识别的地址</source>
        <translation>Unrecognised address</translation>
    </message>
    <message>
        <source>请选择一个有效的分类</source>
        <translation>Please choose a valid kind</translation>
    </message>
    <message>
        <source>代理地址无效</source>
        <translation>Invalid proxy address</translation>
    </message>
    <message>
        <source>提示: 尚未登录Orvana帐号, 网站只提供128kbps的歌曲文件; 如需下载320kbps(约10M/首), 请先使用Orvana帐号登录.</source>
        <translation>Note: not logged in, so Orvana serves 128 kbps files only; log in to Orvana first for 320 kbps (about 10 MB a song).</translation>
    </message>
    <message>
        <source>song ID not numeric</source>
        <translation>song ID not numeric</translation>
    </message>
    <message>
        <source>共获取歌手%1位, 请勾选需要下载的歌手</source>
        <translation>%1 singers found; tick the ones to download</translation>
    </message>
    <message>
        <source>下载已停止.</source>
        <translation>Download stopped.</translation>
    </message>
    <message>
        <source> 失败 %1 首 (双击查看)</source>
        <translation> %1 failed (double-click for details)</translation>
    </message>
    <message>
        <source> (双击查看)</source>
        <translation> (double-click for details)</translation>
    </message>
</context>
</TS>
