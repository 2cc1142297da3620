#include "app/export_rules.h"

#include <climits>
#include <span>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "app/atomic_file.h"
#include "platform/image_loader.h"
#include "test_support/test_support.h"
#include "app_test_util.h"

namespace grinsnap {

// Found by argument lookup, so sizes print readably in failures.
static std::ostream& operator<<(std::ostream& out, ExportSize size) {
  return out << size.width << "x" << size.height;
}

namespace {

namespace fs = std::filesystem;

TEST(ExportAspectFit, FillsTheBoxInSinglePrecisionAndRoundsToNearest) {
  struct Case {
    ExportSize box, source, expected;
  };
  const Case cases[] = {
      {{1920, 1080}, {800, 600}, {1440, 1080}},  // a 4:3 picture on a wide screen
      {{150, 100}, {800, 600}, {133, 100}},
      {{1000, 1000}, {40, 30}, {1000, 750}},     // small pictures are enlarged
      {{2, 2}, {4, 3}, {2, 2}},                  // 1.5 rounds up
      {{150, 100}, {15, 24}, {62, 100}},         // 15 * (100f / 24) is just below 62.5 in single precision
      {{320, 240}, {11, 352}, {8, 240}},         // and 11 * (240f / 352) just above 7.5
      {{640, 480}, {640, 480}, {640, 480}},
      {{640, 480}, {0, 0}, {640, 480}},          // no picture: the box stays
      {{0, 480}, {800, 600}, {0, 480}},
  };
  for (const Case& c : cases) EXPECT_EQ(AspectFit(c.box, c.source), c.expected) << c.box << " " << c.source;
}

struct EditCase {
  const char* what;
  bool keepAspect;
  ExportSize source;
  int limit;
  ExportSize start;
  int entered;
  ExportSize expected;
};

SizeFields FieldsFor(const EditCase& c) {
  SizeFields f;
  f.keepAspect = c.keepAspect;
  f.source = c.source;
  f.limit = c.limit;
  f.width = c.start.width;
  f.height = c.start.height;
  f.highlighted = 2;
  return f;
}

TEST(ExportSizeFields, EditingTheWidthFollowsTheAspectAndHoldsTheLimit) {
  const EditCase cases[] = {
      {"height follows", true, {800, 600}, kImageSizeLimit, {800, 600}, 400, {400, 300}},
      {"integer division", true, {800, 600}, kImageSizeLimit, {800, 600}, 401, {401, 300}},
      {"width over the limit", true, {800, 600}, kImageSizeLimit, {800, 600}, 6000, {5000, 3750}},
      {"height over the limit", true, {600, 800}, kImageSizeLimit, {600, 800}, 4000, {3750, 5000}},
      {"gif limit", true, {800, 600}, kGifSizeLimit, {800, 600}, 2000, {1024, 768}},
      {"negative is 0, height stays", true, {800, 600}, kImageSizeLimit, {800, 600}, -5, {0, 600}},
      {"zero leaves the height", true, {800, 600}, kImageSizeLimit, {800, 600}, 0, {0, 600}},
      {"free aspect", false, {800, 600}, kImageSizeLimit, {800, 123}, 300, {300, 123}},
      {"free aspect over the limit", false, {800, 600}, kImageSizeLimit, {800, 123}, 6000, {5000, 3750}},
      {"no picture", true, {0, 0}, kImageSizeLimit, {400, 300}, 7000, {5000, 300}},
      {"no overflow", true, {800, 600}, kImageSizeLimit, {800, 600}, INT_MAX, {5000, 3750}},
  };
  for (const EditCase& c : cases) {
    SizeFields f = FieldsFor(c);
    EditWidth(f, c.entered);
    EXPECT_EQ(f.Size(), c.expected) << c.what;
    EXPECT_EQ(f.highlighted, kNoRecommendedSize) << c.what;
  }
}

TEST(ExportSizeFields, EditingTheHeightFollowsTheAspectAndHoldsTheLimit) {
  const EditCase cases[] = {
      {"width follows", true, {800, 600}, kImageSizeLimit, {800, 600}, 300, {400, 300}},
      {"integer division", true, {800, 600}, kImageSizeLimit, {800, 600}, 301, {401, 301}},
      // 4000 makes the width 5333: the width takes the limit and the height follows it.
      {"width over the limit", true, {800, 600}, kImageSizeLimit, {800, 600}, 4000, {5000, 3750}},
      {"height over the limit", true, {600, 800}, kImageSizeLimit, {600, 800}, 9000, {3750, 5000}},
      {"gif limit", true, {800, 600}, kGifSizeLimit, {800, 600}, 1500, {1024, 768}},
      {"negative is 0", true, {800, 600}, kImageSizeLimit, {800, 600}, -1, {800, 0}},
      {"free aspect", false, {800, 600}, kImageSizeLimit, {321, 600}, 77, {321, 77}},
      {"no picture", false, {0, 0}, kGifSizeLimit, {400, 300}, 2000, {400, 1024}},
  };
  for (const EditCase& c : cases) {
    SizeFields f = FieldsFor(c);
    EditHeight(f, c.entered);
    EXPECT_EQ(f.Size(), c.expected) << c.what;
    EXPECT_EQ(f.highlighted, kNoRecommendedSize) << c.what;
  }
}

TEST(ExportSizeFields, TogglingKeepAspectFitsThePairAndFillsZeros) {
  struct Case {
    const char* what;
    bool on;
    ExportSize start, expected;
  };
  const Case cases[] = {
      {"on fits the pair", true, {1000, 1000}, {1000, 750}},
      {"off keeps the pair", false, {1000, 1000}, {1000, 1000}},
      {"zero width", false, {0, 500}, {400, 500}},
      {"zero width, not fitted", true, {0, 500}, {400, 500}},
      {"zero height", true, {640, 0}, {640, 300}},
      {"both zero", true, {0, 0}, {400, 300}},
  };
  for (const Case& c : cases) {
    SizeFields f;
    f.keepAspect = !c.on;
    f.source = {800, 600};
    f.width = c.start.width;
    f.height = c.start.height;
    ToggleKeepAspect(f, c.on);
    EXPECT_EQ(f.keepAspect, c.on) << c.what;
    EXPECT_EQ(f.Size(), c.expected) << c.what;
  }
}

TEST(ExportSizeFields, RecommendedSizesAreFittedButNotLimited) {
  const ExportSize screen{1920, 1080};
  struct Case {
    int index;
    bool keepAspect;
    int limit;
    ExportSize expected;
  };
  const Case cases[] = {
      {0, true, kImageSizeLimit, {133, 100}},
      {0, false, kImageSizeLimit, {150, 100}},
      {1, true, kImageSizeLimit, {320, 240}},
      {2, true, kImageSizeLimit, {640, 480}},
      {3, true, kImageSizeLimit, {800, 600}},
      {4, false, kImageSizeLimit, {1024, 768}},
      {5, true, kImageSizeLimit, {1440, 1080}},  // native screen on a 4:3 picture
      {5, false, kGifSizeLimit, {1920, 1080}},   // the GIF limit is not applied here
  };
  for (const Case& c : cases) {
    SizeFields f;
    f.keepAspect = c.keepAspect;
    f.source = {800, 600};
    f.limit = c.limit;
    ChooseRecommendedSize(f, c.index, screen);
    EXPECT_EQ(f.Size(), c.expected) << "index " << c.index;
    EXPECT_EQ(f.highlighted, c.index);
  }
  SizeFields f;
  ChooseRecommendedSize(f, 6, screen);
  EXPECT_EQ(f.Size(), (ExportSize{kDefaultExportWidth, kDefaultExportHeight})) << "no such label";
  EXPECT_STREQ(RecommendedSizeLabel(0), "Thumbnail");
  EXPECT_STREQ(RecommendedSizeLabel(5), "Native Screen Resolution");
  EXPECT_EQ(RecommendedSize(4, screen), (ExportSize{1024, 768}));
}

TEST(ExportSizeFields, ChoosingAModeChecksTheSize) {
  struct Case {
    const char* what;
    ExportMode mode;
    bool keepAspect;
    ExportSize start, expected;
  };
  const Case cases[] = {
      {"gif, keep aspect", ExportMode::kGif, true, {2000, 1500}, {1024, 768}},
      {"gif, free", ExportMode::kGif, false, {2000, 1500}, {1024, 1024}},
      {"image, keep aspect refits", ExportMode::kImage, true, {1000, 1000}, {1000, 750}},
      {"image, under the limit", ExportMode::kImage, false, {4999, 123}, {4999, 123}},
      {"negatives", ExportMode::kImage, true, {-3, 200}, {0, 200}},
  };
  for (const Case& c : cases) {
    SizeFields f;
    f.keepAspect = c.keepAspect;
    f.source = {800, 600};
    f.width = c.start.width;
    f.height = c.start.height;
    std::string path = "/x/y.jpg";
    ChooseMode(f, path, c.mode);
    EXPECT_EQ(f.limit, SizeLimit(c.mode)) << c.what;
    EXPECT_EQ(f.Size(), c.expected) << c.what;
  }
}

TEST(ExportPaths, ModeSwitchFitsTheExtensionIgnoringCase) {
  struct Case {
    ExportMode mode;
    const char* path;
    const char* expected;
  };
  const Case cases[] = {
      {ExportMode::kImage, "/a/b", "/a/b.jpg"},
      {ExportMode::kImage, "/a/b.gif", "/a/b.jpg"},
      {ExportMode::kImage, "/a/b.jpeg", "/a/b.jpg"},
      {ExportMode::kImage, "/a/b.JPG", "/a/b.JPG"},
      {ExportMode::kImage, "/a/b.Png", "/a/b.Png"},
      {ExportMode::kImage, "/a/b.bmp", "/a/b.bmp"},
      {ExportMode::kImage, "/a.d/b", "/a.d/b.jpg"},   // a dot in a folder is no extension
      {ExportMode::kImage, "/a/b.x y", "/a/b.x y.jpg"},  // nor is one followed by a blank
      {ExportMode::kImage, "/a/b.", "/a/b.jpg"},
      {ExportMode::kImage, "", ""},
      {ExportMode::kGif, "/a/b", "/a/b.gif"},
      {ExportMode::kGif, "/a/b.jpg", "/a/b.gif"},
      {ExportMode::kGif, "/a/b.GIF", "/a/b.GIF"},
      {ExportMode::kGif, "/a/b.c.png", "/a/b.c.gif"},
  };
  for (const Case& c : cases) EXPECT_EQ(PathForMode(c.path, c.mode), c.expected) << c.path;
}

TEST(ExportPaths, SaveStepsCompareExtensionsExactly) {
  struct Case {
    const char* path;
    const char* image;
    const char* gif;
  };
  const Case cases[] = {
      {"/a/b", "/a/b.jpg", "/a/b.gif"},
      {"/a/b.jpg", "/a/b.jpg", "/a/b.gif"},
      {"/a/b.png", "/a/b.png", "/a/b.gif"},
      {"/a/b.bmp", "/a/b.bmp", "/a/b.gif"},
      {"/a/b.gif", "/a/b.gif.jpg", "/a/b.gif"},
      {"/a/b.JPG", "/a/b.JPG.jpg", "/a/b.gif"},
      {"/a/b.GIF", "/a/b.GIF.jpg", "/a/b.gif"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ImageSavePath(c.path), c.image) << c.path;
    EXPECT_EQ(GifSavePath(c.path), c.gif) << c.path;
  }
  // Switching to image mode first replaces ".gif"; an upper-case JPG
  // survives the switch and is then appended to.
  SizeFields f;
  std::string gif = "/a/b.gif";
  ChooseMode(f, gif, ExportMode::kImage);
  EXPECT_EQ(ImageSavePath(gif), "/a/b.jpg");
  std::string upper = "/a/b.JPG";
  ChooseMode(f, upper, ExportMode::kImage);
  EXPECT_EQ(ImageSavePath(upper), "/a/b.JPG.jpg");
}

TEST(ExportPaths, PhotoNameAndPreviewFile) {
  EXPECT_EQ(PathWithPhotoName("/d/Grinsnap/Untitled.jpg", "beach"), "/d/Grinsnap/beach.jpg");
  EXPECT_EQ(PathWithPhotoName("Untitled.gif", "beach"), "beach.jpg");
  const fs::path folder = "/data";
  EXPECT_EQ(PreviewTempFile(folder, "/p/photo.png"), folder / "temp_preview.png");
  EXPECT_EQ(PreviewTempFile(folder, "/p/photo.JPG"), folder / "temp_preview.JPG");
  EXPECT_EQ(PreviewTempFile(folder, "/p.d/photo"), folder / "temp_preview.jpg");
  EXPECT_EQ(PreviewTempFile(folder, ""), folder / "temp_preview.jpg");
}

TEST(ExportNumbers, ParsedLikeTheSizeFieldsReadThem) {
  struct Case {
    const char* text;
    int value;
  };
  const Case cases[] = {{"400", 400},       {"  12", 12},         {"12abc", 12},
                        {"-5", -5},         {"+7", 7},            {"", 0},
                        {"abc", 0},         {"-", 0},             {"99999999999", INT_MAX},
                        {"-99999999999", INT_MIN}};
  for (const Case& c : cases) EXPECT_EQ(ParseDecimal(c.text), c.value) << '"' << c.text << '"';

  EXPECT_FALSE(ExportSizeTextValid("0", "300"));
  EXPECT_FALSE(ExportSizeTextValid("300", "-1"));
  EXPECT_FALSE(ExportSizeTextValid("", "300"));
  EXPECT_TRUE(ExportSizeTextValid("1", "1"));
}

TEST(ExportPictures, ResizedBilinearToTheFittedSize) {
  // Left half black, right half white: the bilinear middle columns blend.
  cv::Mat picture(2, 4, CV_8UC3, cv::Scalar::all(0));
  picture.colRange(2, 4).setTo(cv::Scalar::all(200));
  const cv::Mat half = ResizeForExport(picture, {2, 100}, true);
  ASSERT_EQ(half.size(), cv::Size(2, 1));
  EXPECT_EQ(half.at<cv::Vec3b>(0, 0), cv::Vec3b(0, 0, 0));
  EXPECT_EQ(half.at<cv::Vec3b>(0, 1), cv::Vec3b(200, 200, 200));
  const cv::Mat stretched = ResizeForExport(picture, {8, 3}, false);
  ASSERT_EQ(stretched.size(), cv::Size(8, 3));
  // Column 4 of 8 samples x = 1.75 between the halves: 0.75 of the way to white.
  EXPECT_EQ(stretched.at<cv::Vec3b>(1, 4), cv::Vec3b(150, 150, 150));

  const cv::Mat grey(6, 8, CV_8UC1, cv::Scalar(90));
  const cv::Mat colour = ResizeForExport(grey, {4, 4}, true);
  EXPECT_EQ(colour.type(), CV_8UC3);
  EXPECT_EQ(colour.size(), cv::Size(4, 3));
  EXPECT_TRUE(ResizeForExport(cv::Mat(), {4, 4}, true).empty());
  EXPECT_TRUE(ResizeForExport(picture, {0, 4}, false).empty());
}

TEST(ExportPictures, AWidthTypedWithKeepAspectIsTheWidthWritten) {
  // The height follows the typed width by integer division; the saved
  // picture has the pair as typed, not a fit of it one pixel short.
  struct Case {
    ExportSize source;
    int typed;
    ExportSize expected;
  };
  const Case cases[] = {
      {{600, 400}, 1000, {1000, 666}}, {{1024, 683}, 3000, {3000, 2000}}, {{4000, 2667}, 1000, {1000, 666}},
      {{800, 600}, 1000, {1000, 750}}, {{600, 400}, 7, {7, 4}},
  };
  for (const Case& c : cases) {
    SizeFields f;
    f.source = c.source;
    EditWidth(f, c.typed);
    const cv::Mat picture(c.source.height, c.source.width, CV_8UC3, cv::Scalar::all(9));
    const cv::Mat saved = ResizeForExport(picture, f.Size(), true);
    EXPECT_EQ(cv::Size(saved.cols, saved.rows), cv::Size(c.expected.width, c.expected.height))
        << c.source.width << "x" << c.source.height << " typed " << c.typed;
  }
  // A pair off the aspect ratio is still fitted inside it.
  EXPECT_EQ(KeepAspectSize({1000, 300}, {600, 400}), (ExportSize{450, 300}));
}

TEST(ExportPictures, EveryKnownExtensionSelectsItsEncoder) {
  const cv::Mat picture = test::Flat(16, 12, {10, 120, 230});
  struct Case {
    const char* extension;
    std::string magic;
    std::size_t at;
  };
  const Case cases[] = {{"jpg", "\xFF\xD8", 0},  {"png", "PNG", 1},     {"bmp", "BM", 0},
                        {"webp", "WEBP", 8},       {"tif", "II*", 0},     {"TIF", "II*", 0}};
  for (const Case& c : cases) {
    std::string bytes;
    ASSERT_TRUE(EncodeExportImage(picture, c.extension, "Title", "", bytes)) << c.extension;
    EXPECT_EQ(bytes.substr(c.at, c.magic.size()), c.magic) << c.extension;
    const cv::Mat decoded = cv::imdecode(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), cv::IMREAD_COLOR);
    EXPECT_EQ(decoded.size(), picture.size()) << c.extension;
  }
  for (const char* path : {"/a/b.webp", "/a/b.tif", "/a/b.WebP"})
    EXPECT_EQ(PathForMode(path, ExportMode::kImage), path) << "the mode switch keeps " << path;
  EXPECT_EQ(ImageSavePath("/a/b.webp"), "/a/b.webp");
  EXPECT_EQ(ImageSavePath("/a/b.tif"), "/a/b.tif");
  EXPECT_EQ(ImageSavePath("/a/b.tiff"), "/a/b.tiff.jpg");
}

TEST(ExportPaths, TheProposalIsNeverThePhotoItself) {
  const fs::path folder = test::FreshFolder("export_proposal");
  const fs::path photo = folder / "beach.jpg";
  test::WriteText(photo, "the original");
  const std::string inPhotoFolder = (folder / "Untitled.jpg").string();
  EXPECT_EQ(ProposedExportPath(inPhotoFolder, "beach", photo), (folder / "beach_grinsnap.jpg").string());
  EXPECT_EQ(ProposedExportPath((folder / "sub/../Untitled.jpg").string(), "beach", photo),
            (folder / "sub/../beach_grinsnap.jpg").string());
  EXPECT_EQ(ProposedExportPath("/elsewhere/Untitled.jpg", "beach", photo), "/elsewhere/beach.jpg");
  EXPECT_EQ(ProposedExportPath(inPhotoFolder, "beach", fs::path()), (folder / "beach.jpg").string());
}

TEST(ExportPictures, TitleAndDescriptionTravelInTheFile) {
  const cv::Mat picture = test::Flat(16, 12, {10, 120, 230});
  for (const char* extension : {"jpg", "png", "JPG"}) {
    std::string bytes;
    ASSERT_TRUE(EncodeExportImage(picture, extension, "Summer", "At the lake, 2009", bytes)) << extension;
    const std::span<const std::uint8_t> view(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    const ImageFileMetadata metadata = ReadImageMetadata(view);
    EXPECT_EQ(metadata.title.value_or("?"), "Summer") << extension;
    EXPECT_EQ(metadata.description.value_or("?"), "At the lake, 2009") << extension;
    const cv::Mat decoded = cv::imdecode(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), cv::IMREAD_COLOR);
    ASSERT_EQ(decoded.size(), picture.size()) << extension;
  }
  // A short title fits inside its directory entry.
  std::string bytes;
  ASSERT_TRUE(EncodeExportImage(picture, "jpg", "Sun", "", bytes));
  const ImageFileMetadata shortTitle = ReadImageMetadata(
      std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
  EXPECT_EQ(shortTitle.title.value_or("?"), "Sun");
  EXPECT_FALSE(shortTitle.description.has_value());

  ASSERT_TRUE(EncodeExportImage(picture, "png", "", "", bytes));
  const cv::Mat png = cv::imdecode(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), cv::IMREAD_COLOR);
  EXPECT_EQ(cv::norm(png, picture, cv::NORM_INF), 0) << "PNG is lossless";
  ASSERT_TRUE(EncodeExportImage(picture, "bmp", "ignored", "", bytes));
  EXPECT_EQ(bytes.substr(0, 2), "BM");
  EXPECT_FALSE(EncodeExportImage(cv::Mat(), "jpg", "", "", bytes));
}

TEST(ExportFiles, SavingMakesFoldersFixesTheExtensionAndAsksBeforeReplacing) {
  const fs::path root = test::FreshFolder("export_save");
  const cv::Mat picture = test::Flat(20, 10, {0, 0, 255});
  int asked = 0;
  const auto refuse = [&](const std::string&) {
    ++asked;
    return false;
  };
  std::string written;

  const std::string nested = (root / "one/two/pic.gif").string();
  ASSERT_EQ(SaveImageFile(picture, nested, "", "", refuse, &written), SaveResult::kSaved);
  EXPECT_EQ(written, nested + ".jpg");
  EXPECT_EQ(asked, 0) << "a new file needs no question";
  EXPECT_EQ(cv::imread(written).size(), cv::Size(20, 10));

  const std::string png = (root / "pic.png").string();
  ASSERT_EQ(SaveImageFile(picture, png, "", "", refuse, &written), SaveResult::kSaved);
  std::string bytes;
  ASSERT_TRUE(ReadWholeFile(png, bytes));
  EXPECT_EQ(bytes.substr(1, 3), "PNG") << "the encoder follows the extension";

  // An existing file: refusing leaves it alone, accepting replaces it.
  written = "unchanged";
  EXPECT_EQ(SaveImageFile(test::Flat(5, 5, {1, 2, 3}), png, "", "", refuse, &written), SaveResult::kCancelled);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(written, "unchanged");
  std::string after;
  ASSERT_TRUE(ReadWholeFile(png, after));
  EXPECT_EQ(after, bytes);
  EXPECT_EQ(SaveImageFile(test::Flat(5, 5, {1, 2, 3}), png, "", "", [](const std::string&) { return true; },
                          &written),
            SaveResult::kSaved);
  EXPECT_EQ(cv::imread(png).size(), cv::Size(5, 5));

  EXPECT_EQ(SaveImageFile(picture, (root / "dir/").string(), "", "", refuse, &written), SaveResult::kFailed);
  test::WriteText(root / "blocker", "a file where a folder should be");
  EXPECT_FALSE(CreateFoldersAlongPath((root / "blocker/x/y.jpg").string()));
  EXPECT_EQ(SaveImageFile(picture, (root / "blocker/x/y.jpg").string(), "", "", refuse, &written),
            SaveResult::kFailed);
}

TEST(ExportFiles, GifExportRendersIntoTheTemporaryFileThenCopies) {
  const fs::path root = test::FreshFolder("export_gif");
  const fs::path temp = GifTempFile(root / "appdata");
  EXPECT_EQ(temp, root / "appdata" / "tmp.gif");
  EXPECT_TRUE(fs::is_directory(root / "appdata"));

  std::string renderedInto;
  const auto render = [&](const std::string& path) {
    renderedInto = path;
    test::WriteText(path, "GIF89a frames");
    return true;
  };
  const auto refuse = [](const std::string&) { return false; };
  std::string written;
  ASSERT_EQ(ExportGifFile((root / "out/anim.GIF").string(), temp, refuse, render, &written), kGifExportDone);
  EXPECT_EQ(renderedInto, temp.string());
  EXPECT_EQ(written, (root / "out/anim.gif").string());
  EXPECT_EQ(test::ReadText(written), "GIF89a frames");
  EXPECT_FALSE(fs::exists(temp)) << "the temporary frames go once copied";

  // The target exists now: refusing cancels before anything is rendered.
  renderedInto.clear();
  EXPECT_EQ(ExportGifFile(written, temp, refuse, render, nullptr), kGifExportCancelled);
  EXPECT_TRUE(renderedInto.empty());

  const auto fail = [](const std::string&) { return false; };
  EXPECT_EQ(ExportGifFile((root / "out/other").string(), temp, refuse, fail, &written), kGifExportFailed);
  EXPECT_FALSE(fs::exists(root / "out/other.gif"));
}

}  // namespace
}  // namespace grinsnap
