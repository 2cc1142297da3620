#include <fstream>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "core/image_obj.h"
#include "core/photo_item.h"
#include "platform/folders.h"
#include "test_support/test_support.h"

namespace grinsnap {
namespace {

// A picture whose every pixel differs, so turns and crops can be checked exactly.
cv::Mat Numbered(int width, int height) {
  cv::Mat picture(height, width, CV_8UC3);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) picture.at<cv::Vec3b>(y, x) = cv::Vec3b(x & 0xFF, y & 0xFF, (x + 3 * y) & 0xFF);
  return picture;
}

std::filesystem::path WritePhoto(const cv::Mat& picture, const std::string& name) {
  const auto path = test::FreshFolder("photo_item_" + name) / name;
  EXPECT_TRUE(cv::imwrite(path.string(), picture));
  return path;
}

bool Same(const cv::Mat& a, const cv::Mat& b) {
  return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0;
}

TEST(WorkingImage, LargePhotosAreCappedKeepingTheirAspect) {
  struct Case {
    cv::Size file;
    int cap;
    cv::Size working;
    const char* name = "big.png";
  } cases[] = {
      {{6000, 3000}, kWorkingImageCap, {4096, 2048}},
      {{3000, 6000}, kWorkingImageCap, {2048, 4096}},
      {{4096, 4096}, kWorkingImageCap, {4096, 4096}},
      {{4097, 10}, kWorkingImageCap, {4096, 10}},
      {{640, 480}, kWorkingImageCap, {640, 480}},
      {{6000, 100}, 65535, {6000, 100}},
      {{2000, 1000}, 1000, {1000, 500}},
      // Decoded at half size, then fitted: as large as the cap allows.
      {{9000, 300}, kWorkingImageCap, {4096, 137}, "big.jpg"},
  };
  for (const Case& c : cases) {
    PhotoItem photo(WritePhoto(test::Flat(c.file.width, c.file.height, {10, 20, 30}), c.name));
    photo.workingImageCap = c.cap;
    const PhotoItem copy = photo;
    EXPECT_EQ(copy.workingImageCap, c.cap);
    EXPECT_EQ(photo.WorkingImage().size(), c.working) << c.file << " cap " << c.cap;
    EXPECT_EQ(photo.WorkingImage().type(), CV_8UC3);
  }
}

TEST(WorkingImage, QuarterTurnsAndCropFollowTheRotation) {
  const cv::Mat picture = Numbered(8, 4);
  PhotoItem plain(WritePhoto(picture, "numbered.png"));
  EXPECT_TRUE(Same(plain.WorkingImage(), picture));

  // Turns are clockwise and taken modulo 4, negative counts included.
  struct Turn {
    int rotation;
    cv::RotateFlags flag;
  } turns[] = {{1, cv::ROTATE_90_CLOCKWISE}, {2, cv::ROTATE_180}, {3, cv::ROTATE_90_COUNTERCLOCKWISE},
               {-1, cv::ROTATE_90_COUNTERCLOCKWISE}, {5, cv::ROTATE_90_CLOCKWISE}};
  for (const Turn& t : turns) {
    PhotoItem turned = plain;
    turned.DropWorkingImage();
    turned.rotation = t.rotation;
    cv::Mat expected;
    cv::rotate(picture, expected, t.flag);
    EXPECT_TRUE(Same(turned.WorkingImage(), expected)) << t.rotation;
  }

  // A crop set before a turn keeps framing the same part of the photo.
  PhotoItem cropped = plain;
  cropped.DropWorkingImage();
  cropped.crop = {0.5f, 0.25f, 0.5f, 0.5f};
  const cv::Mat region = picture(cv::Rect(4, 1, 4, 2)).clone();
  EXPECT_TRUE(Same(cropped.WorkingImage(), region));
  for (int rotation : {1, 2, 3}) {
    PhotoItem turned = cropped;
    turned.DropWorkingImage();
    turned.rotation = rotation;
    EXPECT_TRUE(Same(turned.WorkingImage(), TurnPicture(region, rotation))) << rotation;
  }
  // Set after the turn, the crop is taken as it stands.
  PhotoItem croppedAfter = cropped;
  croppedAfter.DropWorkingImage();
  croppedAfter.rotation = croppedAfter.cropRotation = 1;
  EXPECT_TRUE(Same(croppedAfter.WorkingImage(), TurnPicture(picture, 1)(cv::Rect(2, 2, 2, 4))));
}

TEST(WorkingImage, UnusableCropsFallBackToTheWholePicture) {
  const cv::Size size(10, 6);
  EXPECT_EQ(CropPixels({0, 0, 1, 1}, size), cv::Rect(0, 0, 10, 6));
  EXPECT_EQ(CropPixels({0.2f, 0.5f, 5.0f, 5.0f}, size), cv::Rect(2, 3, 8, 3));
  EXPECT_EQ(CropPixels({0.5f, 0.5f, 0, 0.5f}, size), cv::Rect(0, 0, 10, 6));
  EXPECT_EQ(CropPixels({NAN, 0, 1, 1}, size), cv::Rect(0, 0, 10, 6));
  EXPECT_EQ(CropPixels({2, 2, 1, 1}, size), cv::Rect(0, 0, 10, 6));
}

TEST(PhotoItemCopies, ShareRecordsAndDuplicateHandlesAndPixels) {
  PhotoItem original(WritePhoto(Numbered(16, 8), "copy.png"));
  original.editRecord->path = original.path.string();
  CImageObj::AddPhotoListNode(*original.editRecord, &original.node);
  original.WorkingImage();
  original.MakeThumbnail(8, 8);
  original.faceData[3] = 7;

  PhotoItem copy = original;
  EXPECT_EQ(copy.editRecord, original.editRecord);
  EXPECT_EQ(copy.source, original.source);
  EXPECT_NE(copy.node, original.node);
  EXPECT_EQ(copy.node->state, original.node->state);
  EXPECT_NE(copy.WorkingImage().data, original.workingImage.data);
  EXPECT_NE(copy.thumbnail.data, original.thumbnail.data);
  EXPECT_EQ(copy.faceData[3], 7);
  EXPECT_EQ(original.source.use_count(), 2);

  const PhotoItem snapshot = original.Snapshot();
  EXPECT_EQ(snapshot.workingImage.data, original.workingImage.data);

  { PhotoItem scoped = copy; }
  EXPECT_EQ(original.source.use_count(), 3);  // original, copy, snapshot
  PhotoItem moved = std::move(copy);
  EXPECT_EQ(copy.node, nullptr);
  EXPECT_NE(moved.node, nullptr);
}

TEST(PhotoItemCopies, AFailedLoadLeavesNoPictureAndRecordsNothing) {
  PhotoItem missing(test::FreshFolder("missing") / "gone.jpg");
  EXPECT_TRUE(missing.WorkingImage().empty());
  missing.MakeThumbnail(90, 90);
  EXPECT_TRUE(missing.thumbnail.empty());
  EXPECT_FALSE(missing.editRecord->pathsFilled);

  PhotoItem present(WritePhoto(Numbered(4, 4), "present.png"));
  present.WorkingImage();
  EXPECT_TRUE(present.editRecord->pathsFilled);
}

// Lines log.txt holds about one file.
int LoggedFailures(const std::filesystem::path& path) {
  std::ifstream log(AppDataFolder() / "log.txt", std::ios::binary);
  int lines = 0;
  for (std::string line; std::getline(log, line);) lines += line.find("\"" + path.string() + "\"") != std::string::npos;
  return lines;
}

TEST(PhotoItemCopies, AFailedLoadIsRememberedByEveryCopyUntilReloaded) {
  const auto path = WritePhoto(Numbered(8, 4), "vanishing.png");
  const auto away = path.string() + ".away";
  PhotoItem photo(path);
  ASSERT_FALSE(photo.WorkingImage().empty());
  photo.DropWorkingImage();
  std::filesystem::rename(path, away);

  PhotoItem copy = photo;
  for (int attempt = 0; attempt < 3; ++attempt) {  // an Apply, a thumbnail, another Apply
    EXPECT_TRUE(photo.WorkingImage().empty());
    copy.MakeThumbnail(90, 90);
    PhotoItem(photo).WorkingImage();
    photo.DropWorkingImage();
  }
  EXPECT_EQ(LoggedFailures(path), 1);
  EXPECT_EQ(copy.LoadFailure(), "file not found");

  std::filesystem::rename(away, path);
  EXPECT_TRUE(photo.WorkingImage().empty()) << "the failure is remembered until the photo is reloaded";
  copy.Reload();
  EXPECT_FALSE(photo.LoadFailure().has_value());
  EXPECT_TRUE(Same(photo.WorkingImage(), Numbered(8, 4)));
  EXPECT_EQ(LoggedFailures(path), 1);
}

TEST(PhotoItemCopies, APhotoMadeFromAPictureRebuildsFromIt) {
  const cv::Mat picture = Numbered(6, 4);
  PhotoItem made = PhotoItem::FromImage(picture);
  EXPECT_TRUE(made.path.empty());
  made.DropWorkingImage();
  made.rotation = 2;
  EXPECT_TRUE(Same(made.WorkingImage(), TurnPicture(picture, 2)));
}

TEST(ImageObj, NodesRenderTheirEditsAndShareThemWithDuplicates) {
  const cv::Mat picture = Numbered(8, 4);
  PhotoRecord record;
  record.path = WritePhoto(picture, "node.png").string();
  HNODE node = nullptr;
  ASSERT_EQ(CImageObj::AddPhotoListNode(record, &node), 1);
  EXPECT_TRUE(Same(CImageObj::GetOutImg(node), picture));

  PhotoEdits edits;
  edits.quarterTurns = 1;
  edits.crop = {0, 0, 0.5f, 1};
  CImageObj::SetEdits(node, edits, &record);
  EXPECT_TRUE(record.modified);
  record.modified = false;
  CImageObj::SetEdits(node, edits, &record);
  EXPECT_FALSE(record.modified) << "setting the same edits is no change";

  HNODE duplicate = CImageObj::DupHandle(node);
  CImageObj::ReleaseNode(node);
  CImageObj::ReleaseImgBuf(duplicate);
  const cv::Mat expected = TurnPicture(picture, 1)(cv::Rect(0, 0, 2, 8));
  EXPECT_TRUE(Same(CImageObj::GetOutImg(duplicate), expected));
  CImageObj::ReleaseNode(duplicate);
  EXPECT_EQ(CImageObj::DupHandle(nullptr), nullptr);
  EXPECT_TRUE(CImageObj::GetOutImg(nullptr).empty());
}

TEST(ImageObj, BrightnessAndContrastFollowTheirFormula) {
  const cv::Mat grey = test::Flat(2, 2, {100, 128, 200});
  PhotoEdits edits;
  edits.brightness = 20;  // + 51
  edits.contrast = 50;    // slope 1.5 about 128
  const cv::Mat out = ApplyPhotoEdits(grey, edits);
  EXPECT_EQ(out.at<cv::Vec3b>(0, 0), cv::Vec3b(137, 179, 255));
}

TEST(ImageObj, AnEditedPhotoBuildsItsWorkingImageFromItsNode) {
  const cv::Mat picture = Numbered(8, 4);
  PhotoItem photo(WritePhoto(picture, "edited.png"));
  photo.editRecord->path = photo.path.string();
  CImageObj::AddPhotoListNode(*photo.editRecord, &photo.node);
  PhotoEdits edits;
  edits.quarterTurns = 2;
  CImageObj::SetEdits(photo.node, edits, photo.editRecord.get());
  EXPECT_TRUE(Same(photo.WorkingImage(), TurnPicture(picture, 2)));
}

TEST(FitInside, RoundsToNearestAndEnlargesOnlyWhenAsked) {
  EXPECT_EQ(FitInside({6000, 3000}, {4096, 4096}, false), cv::Size(4096, 2048));
  EXPECT_EQ(FitInside({300, 200}, {90, 90}, true), cv::Size(90, 60));
  EXPECT_EQ(FitInside({30, 20}, {90, 90}, true), cv::Size(90, 60));
  EXPECT_EQ(FitInside({30, 20}, {90, 90}, false), cv::Size(30, 20));
  EXPECT_EQ(FitInside({1000, 1}, {90, 90}, true), cv::Size(90, 1));
  EXPECT_EQ(FitInside({0, 5}, {90, 90}, true), cv::Size(0, 0));
}

}  // namespace
}  // namespace grinsnap
