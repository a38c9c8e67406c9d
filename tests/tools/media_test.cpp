#include "tools/portal-sim/media.h"
#include "tools/portal-sim/portal_sim.h"

#include <cmath>
#include <gtest/gtest.h>
#include <httplib.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/mpegfile.h>
#include <taglib/tbytevectorstream.h>

using namespace orvana::portal;

namespace {

// A song body as TagLib reads it from memory.
struct Mpeg {
    explicit Mpeg(const std::string& body)
        : stream(TagLib::ByteVector(body.data(), unsigned(body.size()))),
          file(&stream, TagLib::ID3v2::FrameFactory::instance()) {}
    TagLib::ByteVectorStream stream;
    TagLib::MPEG::File file;
};

// Every body a portal of `songBytes` serves, at both rates, is a run of frames TagLib finds
// from the first byte to the last frame, with the rate, the sample rate and the length of the
// frames themselves.
void expectReadableFrames(std::size_t songBytes) {
    PortalSim portal(DemoCatalogue(), PortalOptions{songBytes});
    portal.start();
    httplib::Client c("127.0.0.1", portal.port());
    const httplib::Headers session = {{"Cookie", "orvana_session=" + portal.issueSession("demo")}};
    for (int kbps : {128, 320}) {
        SCOPED_TRACE(std::to_string(songBytes) + " bytes at " + std::to_string(kbps));
        const auto res = c.Get(("/file/1001/" + std::to_string(kbps) + ".mp3").c_str(), session);
        ASSERT_TRUE(res);
        const std::string& body = res->body;
        ASSERT_EQ(body.size(), SongLength(kbps, songBytes));
        EXPECT_EQ(body.size() % FrameLength(kbps), 0u);
        Mpeg mpeg(body);
        ASSERT_TRUE(mpeg.file.isValid());
        EXPECT_EQ(mpeg.file.firstFrameOffset(), 0);
        EXPECT_EQ(mpeg.file.lastFrameOffset(), long(body.size() - FrameLength(kbps)));
        const TagLib::MPEG::Properties* p = mpeg.file.audioProperties();
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->version(), TagLib::MPEG::Header::Version1);
        EXPECT_EQ(p->layer(), 3);
        EXPECT_EQ(p->bitrate(), kbps);
        EXPECT_EQ(p->sampleRate(), 44100);
        EXPECT_EQ(p->channels(), 2);
        EXPECT_EQ(p->lengthInMilliseconds(), std::lround(double(body.size()) * 8 / kbps));
    }
    c.stop();
}

} // namespace

// From the smallest body (two frames) to one of a few hundred frames with a wish between
// frame sizes.
TEST(PortalMedia, ServedSongsAreMpegFramesThatTagLibReads) {
    for (std::size_t songBytes : {std::size_t(1), std::size_t(5000), std::size_t(300001)})
        expectReadableFrames(songBytes);
}

// The not-mpeg fault, aimed at one song: as long as its real body, the same bytes every time,
// plain text in which TagLib finds no frame; the album's other songs stay audio.
TEST(PortalMedia, NotMpegFaultServesPlainBytesForOneSong) {
    PortalSim portal(DemoCatalogue(), PortalOptions{5000});
    portal.start();
    portal.addFault(Endpoint::SongFile, Fault::NotMpeg, -1, "1002");
    httplib::Client c("127.0.0.1", portal.port());
    const std::string plain = c.Get("/file/1002/128.mp3")->body;
    ASSERT_EQ(plain.size(), SongLength(128, 5000));
    const std::string line = "ORVANA plain bytes, no audio: song=1002\n";
    EXPECT_EQ(plain.substr(0, 2 * line.size()), line + line);
    EXPECT_EQ(plain.find('\xFF'), std::string::npos);
    EXPECT_EQ(c.Get("/file/1002/128.mp3")->body, plain);
    std::string middle;
    AppendPlainBytes(middle, "1002", 1000, 3000);
    EXPECT_EQ(middle, plain.substr(1000, 3000));

    Mpeg mpeg(plain);
    EXPECT_EQ(mpeg.file.firstFrameOffset(), -1);
    EXPECT_EQ(mpeg.file.audioProperties()->bitrate(), 0);
    EXPECT_EQ(c.Get("/file/1001/128.mp3")->body, SongBody("1001", 128, 5000));
    c.stop();
}
