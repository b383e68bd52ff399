#include "launcher/splash_clip.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <sstream>

#include "support/test_support.h"

namespace pagorix {
namespace {

using test::Bytes;

std::uint32_t U32At(const Bytes& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

TEST(SplashClip, BlobLoadsAsAnAviFile) {
    const auto blob = SplashClipBlob();
    ASSERT_GT(blob.size(), 4u);
    const Bytes blobBytes(blob.begin(), blob.end());
    std::string temp;
    {
        TFileSource fs;
        LoadSplashClip(fs);
        temp = fs.FileName();
        ASSERT_FALSE(temp.empty());
        EXPECT_NE(temp.find("~fs"), std::string::npos);
        EXPECT_EQ(temp.substr(temp.size() - 4), ".avi");
        const Bytes clip = test::ReadFile(temp);
        EXPECT_EQ(U32At(blobBytes, 0), clip.size());
        EXPECT_EQ(blob.size(), clip.size() + 4);
    }
    EXPECT_FALSE(test::Exists(temp));
}

// Runs a command with its output in a file; returns the exit status and text.
int RunTool(const std::string& command, const std::string& outFile, std::string& output) {
    const int status = std::system((command + " > \"" + outFile + "\" 2>&1").c_str());
    output = test::ReadText(outFile);
    return status;
}

TEST(SplashClip, RealDecoderAgrees) {
    test::TempDir dir;
    std::string output;
    if (RunTool("ffprobe -version", dir / "version.txt", output) != 0) {
        GTEST_SKIP() << "ffprobe is not installed";
    }
    TFileSource fs;
    LoadSplashClip(fs);
    const std::string clip = "\"" + fs.FileName() + "\"";

    ASSERT_EQ(
        RunTool("ffprobe -v error -count_frames -show_entries "
                "stream=codec_type,codec_name,width,height,pix_fmt,r_frame_rate,nb_read_frames "
                "-of default=noprint_wrappers=1 " +
                    clip,
                dir / "probe.txt", output),
        0)
        << output;
    std::map<std::string, std::string> found;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        const auto eq = line.find('=');
        if (eq != std::string::npos) found[line.substr(0, eq)] = line.substr(eq + 1);
    }
    const std::map<std::string, std::string> expected = {
        {"codec_type", "video"},  {"codec_name", "msrle"}, {"width", "272"},
        {"height", "77"},         {"pix_fmt", "pal8"},     {"r_frame_rate", "10/1"},
        {"nb_read_frames", "21"},
    };
    EXPECT_EQ(found, expected) << output;  // one stream only: no sound

    EXPECT_EQ(RunTool("ffmpeg -nostdin -v error -xerror -i " + clip + " -f null -",
                      dir / "decode.txt", output),
              0);
    EXPECT_EQ(output, "");
}

}  // namespace
}  // namespace pagorix
