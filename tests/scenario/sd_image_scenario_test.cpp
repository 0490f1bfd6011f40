// "xif": image files of the card drawn through the whole module. The decoders' own tests
// compare every kind of file with the reference libraries; here the module's side: the file
// found, its type chosen by the name's ending, the replies, the origin, the clip area.
#include <gtest/gtest.h>

#include "../support/dosfs.h"
#include "harness/harness.h"

namespace voxa_test {
namespace {

TEST(SdImageFiles, RepliesWhenTheFileCannotBeDrawn) {
    {
        Harness h;
        h.boot();
        EXPECT_EQ(h.command("xif logo.bmp 0 0"), ":SD Card not initialized.\r!\r");
    }
    TempDir card;
    write_file(card / "LOGO.PNG", "\x89PNG");
    write_file(card / "PHOTO.JPE", "x");
    write_file(card / "AB", "x");
    write_file(card / "IMGJPEG", "x");
    sim::Module::Options o;
    o.sd_dir = card.path();
    Harness h(o);
    h.boot();
    EXPECT_EQ(h.command("xif nothere.bmp 0 0"), ":cannot open SD card file \"nothere.bmp\".\r!\r");
    EXPECT_EQ(h.command("xif photo.jpeg 0 0"), ":cannot open SD card file \"photo.jpeg\".\r!\r")
        << "not an 8.3 name: no such file";
    EXPECT_EQ(h.command("xif logo.png 0 0"), ":file type\"PNG\" not supported.\r!\r");
    EXPECT_EQ(h.command("xif photo.jpe 0 0"), ":file type\"JPE\" not supported.\r!\r");
    EXPECT_EQ(h.command("xif imgjpeg 0 0"), ":file type\"PEG\" not supported.\r!\r");
    EXPECT_EQ(h.command("xif ab 0 0"), ":file type\"AB\" not supported.\r!\r");
    EXPECT_EQ(h.command("xif logo.png"), "!\r") << "no position";
    EXPECT_EQ(h.command("xif"), "!\r");
    EXPECT_EQ(h.command("xif 0123456789abcdefg.bmp 0 0"), "!\r") << "a name of 17 characters";
}

}  // namespace
}  // namespace voxa_test
