#include "launcher/splash_clip.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "support/test_support.h"

namespace pagorix {
namespace {

// The clip is written from the blob into a file that goes with the source,
// and a real decoder (ffprobe, when installed) reads every frame of it
// without a complaint: one MS-RLE video stream, no sound.
TEST(SplashClip, BlobLoadsAsAnAviFileThatARealDecoderReads) {
    test::TempDir dir;
    std::string clip;
    {
        TFileSource fs;
        LoadSplashClip(fs);
        clip = fs.FileName();
        EXPECT_EQ(test::ReadFile(clip).size() + 4, SplashClipBlob().size());
        if (std::system(("ffprobe -version > \"" + (dir / "out") + "\" 2>&1").c_str()) == 0) {
            const std::string probe =
                "ffprobe -v error -count_frames -show_entries stream=codec_name,codec_type,width,"
                "height,pix_fmt,r_frame_rate,nb_read_frames -of csv=p=0 \"" +
                clip + "\" > \"" + (dir / "out") + "\" 2>&1";
            EXPECT_EQ(std::system(probe.c_str()), 0);
            EXPECT_EQ(test::ReadText(dir / "out"), "msrle,video,272,77,pal8,10/1,21\n");
        }
    }
    EXPECT_FALSE(test::Exists(clip));
}

}  // namespace
}  // namespace pagorix
