#include <gtest/gtest.h>

#include "ui/command_line.h"

namespace grinsnap {
namespace {

TEST(DesktopCommandLine, FileUrlsBecomePathsAndOtherUrlsAreSetAside) {
  struct Case {
    const char* argument;
    const char* photo;    // "" when it is set aside
  };
  const Case cases[] = {
      {"/home/ann/Pictures/beach.jpg", "/home/ann/Pictures/beach.jpg"},
      {"file:///home/ann/My%20Pictures/b%C3%A4r.jpg", "/home/ann/My Pictures/bär.jpg"},
      {"relative/photo.png", "relative/photo.png"},
      {"a:b.png", "a:b.png"},
      {"/odd/na:me.jpg", "/odd/na:me.jpg"},
      {"https://example.com/photo.jpg", ""},
  };
  for (const Case& c : cases) {
    DesktopCommandLine line;
    SortPhotoArguments({QString::fromUtf8(c.argument)}, line);
    if (*c.photo) {
      ASSERT_EQ(line.photos.size(), 1) << c.argument;
      EXPECT_EQ(line.photos[0].toStdString(), c.photo) << c.argument;
      EXPECT_TRUE(line.ignored.isEmpty()) << c.argument;
    } else {
      EXPECT_TRUE(line.photos.isEmpty()) << c.argument;
      EXPECT_EQ(line.ignored.size(), 1) << c.argument;
    }
  }
}

}  // namespace
}  // namespace grinsnap
