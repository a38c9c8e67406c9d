// The Debian package as a user gets it: built with CPack into a temporary folder, unpacked with
// dpkg-deb into a temporary root and checked there.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>

namespace {

struct Result {
    int exitCode = -1;
    QString out;
    QString err;
};

Result run(const QString& program, const QStringList& args, const QString& workDir = {}) {
    QProcess p;
    if (!workDir.isEmpty())
        p.setWorkingDirectory(workDir);
    p.start(program, args);
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit)
        return {-1, QString(), program + u" did not finish"};
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

// Every file the package carries, as paths below the root ("usr/bin/orvana-dl-cli").
QStringList expectedFiles() {
    QStringList files{
        u"usr/bin/orvana-dl-cli"_qs,
        u"usr/bin/orvana-portal-sim"_qs,
        u"usr/share/applications/orvana-dl.desktop"_qs,
        u"usr/share/bash-completion/completions/orvana-dl-cli"_qs,
        u"usr/share/icons/hicolor/scalable/apps/orvana-dl.svg"_qs,
        u"usr/share/man/man1/orvana-dl-cli.1.gz"_qs,
        u"usr/share/man/man1/orvana-dl.1.gz"_qs,
        u"usr/share/man/man1/orvana-portal-sim.1.gz"_qs,
        u"usr/share/metainfo/example.orvana.orvana_dl.metainfo.xml"_qs,
        u"usr/" ORVANA_CLI_MODULE_DIR "/orvana-dl-cli-main.so"_qs,
        u"usr/" ORVANA_CLI_MODULE_DIR "/orvana-dl-cli-downloads.so"_qs,
    };
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        files.append(QStringLiteral("usr/share/icons/hicolor/%1x%1/apps/orvana-dl.png").arg(size));
    if (ORVANA_HAS_WINDOW)
        files.append(u"usr/bin/orvana-dl"_qs);
    files.sort();
    return files;
}

class Package : public testing::Test {
protected:
    static void SetUpTestSuite() {
        if (QStandardPaths::findExecutable(u"dpkg-deb"_qs).isEmpty()) {
            s_skip = u"dpkg-deb is missing: the package cannot be unpacked (install dpkg)"_qs;
            return;
        }
        s_dir = std::make_unique<QTemporaryDir>();
        const QString out = s_dir->filePath(u"out"_qs);
        const Result cpack =
            run(QStringLiteral(ORVANA_CPACK_COMMAND),
                {u"--config"_qs, QStringLiteral(ORVANA_BINARY_DIR "/CPackConfig.cmake"), u"-B"_qs,
                 out});
        if (cpack.exitCode != 0) {
            s_failure = u"cpack failed:\n"_qs + cpack.out + cpack.err;
            return;
        }
        const QStringList debs = QDir(out).entryList({u"*.deb"_qs}, QDir::Files);
        if (debs.size() != 1) {
            s_failure = u"cpack made these packages: "_qs + debs.join(u", "_qs);
            return;
        }
        s_deb = out + u'/' + debs.first();
        s_root = s_dir->filePath(u"root"_qs);
        const Result x = run(u"dpkg-deb"_qs, {u"-x"_qs, s_deb, s_root});
        if (x.exitCode != 0)
            s_failure = u"dpkg-deb -x failed: "_qs + x.err;
    }
    static void TearDownTestSuite() { s_dir.reset(); }

    void SetUp() override {
        if (!s_skip.isEmpty())
            GTEST_SKIP() << s_skip.toStdString();
        ASSERT_TRUE(s_failure.isEmpty()) << s_failure.toStdString();
    }

    static QString path(const QString& relative) { return s_root + u'/' + relative; }

    static inline std::unique_ptr<QTemporaryDir> s_dir;
    static inline QString s_skip, s_failure, s_deb, s_root;
};

TEST_F(Package, CarriesExactlyItsFilesUnderUsrOwnedByRoot) {
    const Result listing = run(u"dpkg-deb"_qs, {u"--contents"_qs, s_deb});
    ASSERT_EQ(listing.exitCode, 0) << listing.err.toStdString();
    QStringList listed;
    for (const QString& line : listing.out.split(u'\n', Qt::SkipEmptyParts)) {
        // "-rwxr-xr-x root/root  123 2026-12-08 13:00 ./usr/bin/orvana-dl-cli"
        const QStringList f = line.split(u' ', Qt::SkipEmptyParts);
        ASSERT_GE(f.size(), 6) << line.toStdString();
        EXPECT_EQ(f.at(1), u"root/root"_qs) << line.toStdString();
        const QString name = f.at(5);
        EXPECT_TRUE(name == u"./"_qs || name == u"./usr/"_qs || name.startsWith(u"./usr/"))
            << line.toStdString();
        EXPECT_FALSE(f.at(0).at(8) == u'w') << "world-writable: " << line.toStdString();
        if (f.at(0).startsWith(u'-')) {
            listed.append(name.mid(2));
            const bool program = name.startsWith(u"./usr/bin/");
            EXPECT_EQ(f.at(0), program ? u"-rwxr-xr-x"_qs : u"-rw-r--r--"_qs) << line.toStdString();
        }
    }
    listed.sort();
    EXPECT_EQ(listed, expectedFiles());

    // What dpkg-deb -x unpacked is the listing: nothing more, nothing outside usr/.
    QStringList unpacked;
    QDirIterator it(s_root, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        unpacked.append(QDir(s_root).relativeFilePath(it.next()));
    unpacked.sort();
    EXPECT_EQ(unpacked, expectedFiles());
    EXPECT_EQ(QDir(s_root).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{u"usr"_qs});
}

TEST_F(Package, DeclaresNameVersionAndLibraryDependencies) {
    const Result fields = run(u"dpkg-deb"_qs, {u"--field"_qs, s_deb, u"Package"_qs, u"Version"_qs,
                                               u"Architecture"_qs, u"Depends"_qs});
    ASSERT_EQ(fields.exitCode, 0) << fields.err.toStdString();
    const QStringList lines = fields.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4) << fields.out.toStdString();
    EXPECT_EQ(lines.at(0), u"Package: orvana-dl"_qs);
    EXPECT_EQ(lines.at(1), u"Version: " ORVANA_VERSION ""_qs);
    EXPECT_EQ(lines.at(2), u"Architecture: amd64"_qs);
    // Computed from the libraries of the programs and of orvana-dl-cli's modules, so Qt Core, Qt
    // Network, libcurl and the C library are there.
    for (const char16_t* library : {u"libc6 (>= ", u"libqt6core6 (>= ", u"libqt6network6 (>= ",
                                    u"libcurl4 (>= ", u"libstdc++6 (>= "})
        EXPECT_TRUE(lines.at(3).contains(QStringView(library))) << lines.at(3).toStdString();
    EXPECT_EQ(QFileInfo(s_deb).fileName(), u"orvana-dl_" ORVANA_VERSION "_amd64.deb"_qs);
}

TEST_F(Package, ProgramsRunFromTheUnpackedRootWithoutTheBuildTree) {
    const Result version = run(path(u"usr/bin/orvana-dl-cli"_qs), {u"--version"_qs}, s_root);
    EXPECT_EQ(version.exitCode, 0) << version.err.toStdString();
    EXPECT_EQ(version.out, u"orvana-dl-cli " ORVANA_VERSION "\n"_qs);

    // The download commands come from their own module, found where it is installed.
    const Result album =
        run(path(u"usr/bin/orvana-dl-cli"_qs), {u"album"_qs, u"--help"_qs}, s_root);
    EXPECT_EQ(album.exitCode, 0) << album.err.toStdString();
    EXPECT_TRUE(album.out.startsWith(u"usage: orvana-dl-cli album [OPTIONS] ADDRESS\n"_qs))
        << album.out.toStdString();

    const Result sim = run(path(u"usr/bin/orvana-portal-sim"_qs), {u"--help"_qs}, s_root);
    EXPECT_EQ(sim.exitCode, 0);
    EXPECT_TRUE(sim.err.startsWith(u"usage: orvana-portal-sim [--port N]"_qs))
        << sim.err.toStdString();

    // Stripped, and no library search path into the build tree.
    QStringList programs;
    for (const QString& program : QDir(path(u"usr/bin"_qs)).entryList(QDir::Files))
        programs.append(u"usr/bin/"_qs + program);
    for (const QString& module :
         QDir(path(u"usr/" ORVANA_CLI_MODULE_DIR ""_qs)).entryList(QDir::Files))
        programs.append(u"usr/" ORVANA_CLI_MODULE_DIR "/"_qs + module);
    for (const QString& program : std::as_const(programs)) {
        const Result elf = run(u"readelf"_qs, {u"--dynamic"_qs, u"--sections"_qs, path(program)});
        ASSERT_EQ(elf.exitCode, 0) << elf.err.toStdString();
        EXPECT_FALSE(elf.out.contains(u"RUNPATH"_qs) || elf.out.contains(u"(RPATH)"_qs))
            << program.toStdString();
        EXPECT_FALSE(elf.out.contains(u".debug_info"_qs)) << program.toStdString();
        // Whatever the programs read (the button form, translations) comes from resources or
        // installed paths, never from the trees they were built in.
        QFile file(path(program));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        EXPECT_FALSE(bytes.contains(ORVANA_SOURCE_DIR "/")) << program.toStdString();
        EXPECT_FALSE(bytes.contains(ORVANA_BINARY_DIR "/")) << program.toStdString();
    }
}

TEST_F(Package, DesktopEntryAndMetainfoPassTheValidators) {
    const QString desktop = path(u"usr/share/applications/orvana-dl.desktop"_qs);
    const Result entry = run(u"desktop-file-validate"_qs, {desktop});
    EXPECT_EQ(entry.exitCode, 0) << entry.out.toStdString();
    EXPECT_FALSE(entry.out.contains(u"error:"_qs)) << entry.out.toStdString();

    const Result meta = run(u"appstreamcli"_qs,
                            {u"validate"_qs, u"--no-net"_qs,
                             path(u"usr/share/metainfo/example.orvana.orvana_dl.metainfo.xml"_qs)});
    EXPECT_EQ(meta.exitCode, 0) << meta.out.toStdString() << meta.err.toStdString();
    // The tree as a software centre reads it: metainfo, its desktop entry and icon together.
    const Result tree = run(u"appstreamcli"_qs, {u"validate-tree"_qs, u"--no-net"_qs, s_root});
    EXPECT_EQ(tree.exitCode, 0) << tree.out.toStdString() << tree.err.toStdString();

    QFile file(desktop);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    for (const QString& line :
         {u"Name=Orvana 专辑下载"_qs, u"Exec=orvana-dl"_qs, u"Icon=orvana-dl"_qs,
          u"StartupWMClass=orvana-dl"_qs, u"Categories=AudioVideo;Audio;Network;"_qs})
        EXPECT_TRUE(lines.contains(line)) << line.toStdString();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                            [](const QString& l) { return l.startsWith(u"Name[en]="); }));
}

TEST_F(Package, IconsAreRenderedAtTheirSizes) {
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        QFile png(
            path(QStringLiteral("usr/share/icons/hicolor/%1x%1/apps/orvana-dl.png").arg(size)));
        ASSERT_TRUE(png.open(QIODevice::ReadOnly)) << size;
        const QByteArray head = png.read(24);
        ASSERT_EQ(head.size(), 24);
        EXPECT_EQ(head.left(8), QByteArray("\x89PNG\r\n\x1a\n", 8));
        EXPECT_EQ(head.mid(12, 4), QByteArray("IHDR"));
        auto be32 = [&head](int at) {
            return (quint32(quint8(head[at])) << 24) | (quint32(quint8(head[at + 1])) << 16) |
                   (quint32(quint8(head[at + 2])) << 8) | quint32(quint8(head[at + 3]));
        };
        EXPECT_EQ(be32(16), quint32(size));
        EXPECT_EQ(be32(20), quint32(size));
    }
}

TEST_F(Package, ManualPagesRenderWithoutWarnings) {
    if (QStandardPaths::findExecutable(u"man"_qs).isEmpty())
        GTEST_SKIP() << "man is not installed";
    for (const QString& page : {u"orvana-dl-cli"_qs, u"orvana-dl"_qs, u"orvana-portal-sim"_qs}) {
        QProcess man;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"MANWIDTH"_qs, u"80"_qs);
        env.insert(u"LC_ALL"_qs, u"C.UTF-8"_qs);
        man.setProcessEnvironment(env);
        man.start(u"man"_qs, {u"--warnings"_qs, u"-l"_qs,
                              path(u"usr/share/man/man1/"_qs + page + u".1.gz"_qs)});
        ASSERT_TRUE(man.waitForFinished(30000));
        const QString out = QString::fromUtf8(man.readAllStandardOutput());
        EXPECT_EQ(man.exitCode(), 0);
        EXPECT_EQ(QString::fromUtf8(man.readAllStandardError()), QString()) << page.toStdString();
        EXPECT_TRUE(out.contains(u"orvana-dl " ORVANA_VERSION ""_qs)) << page.toStdString();
        EXPECT_FALSE(out.contains(u'@')) << "unfilled placeholder in " << page.toStdString();
    }
}

} // namespace
