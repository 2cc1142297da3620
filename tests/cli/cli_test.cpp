// Runs the built grinsnap-cli as a process, as a user would.
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include <gif_lib.h>
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "test_support/camera_photo.h"
#include "test_support/package_site.h"
#include "test_support/test_support.h"

namespace grinsnap {
namespace {

namespace fs = std::filesystem;

struct CliRun {
  int exitCode = -1;
  std::string out;  // standard output and standard error together
};

std::string Quote(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// environment: words for env(1) put before the program, such as "HOME=/x".
// input: a file for standard input; output: a file that takes standard
// output apart from standard error.
CliRun Cli(const std::vector<std::string>& words, const std::string& environment = "", const fs::path& input = {},
           const fs::path& output = {}) {
  // Under ThreadSanitizer each render runs serially: the thread pool
  // OpenCV uses synchronises in ways the sanitizer cannot see.
  std::string command = "env " + environment + " ";
  if (test::UnderThreadSanitizer()) command += "GRINSNAP_THREADS=1 ";
  command += Quote(GRINSNAP_CLI);
  for (const std::string& word : words) command += " " + Quote(word);
  const fs::path capture = test::TempHome() / "cli_output.txt";
  if (!input.empty()) command += " <" + Quote(input.string());
  if (!output.empty()) command += " >" + Quote(output.string()) + " 2>" + Quote(capture.string());
  else command += " >" + Quote(capture.string()) + " 2>&1";
  const int status = std::system(command.c_str());
  CliRun run;
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream in(capture);
  std::stringstream text;
  text << in.rdbuf();
  run.out = text.str();
  return run;
}

std::string Photo(const std::string& name) { return (test::DataDir() / "photos" / name).string(); }

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// A small template document of our own, so the tests do not depend on the
// shipped library's names.
fs::path WriteDocument(const fs::path& folder, const std::string& filter) {
  const fs::path path = folder / (filter + ".xml");
  std::ofstream(path) << "<effect><template name=\"Test " << filter << "\"/><filter name=\"SimpleTemplate\">"
                      << "<variables><var1 name=\"Amount\" min=\"0\" max=\"10\" default=\"5\" resolution=\"1\"/>"
                      << "</variables><filter name=\"" << filter << "\"/></filter></effect>";
  return path;
}

TEST(CliApply, ByPathAndByNameWriteThePicture) {
  const fs::path folder = test::FreshFolder("cli_apply");
  const fs::path document = WriteDocument(folder, "MoonFilter");
  const fs::path out = folder / "moon.png";
  CliRun run = Cli({"apply", document.string(), Photo("coffee.png"), "-o", out.string(), "--size", "200x150"});
  ASSERT_EQ(run.exitCode, 0) << run.out;
  const cv::Mat picture = cv::imread(out.string());
  ASSERT_FALSE(picture.empty());
  // Fitted into the box, keeping the photo's aspect.
  EXPECT_TRUE((picture.cols == 200 && picture.rows <= 150) || (picture.rows == 150 && picture.cols <= 200))
      << picture.size();

  // The first template of the shipped library, by its name in any case.
  run = Cli({"list"});
  ASSERT_EQ(run.exitCode, 0) << run.out;
  std::string firstName;
  std::istringstream lines(run.out);
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("    ", 0) == 0 && line[4] != ' ' && line.find(" (online") == std::string::npos)
      firstName = line.substr(4);  // online templates cannot be applied before they are installed
  ASSERT_FALSE(firstName.empty()) << run.out;
  std::string upper = firstName;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  run = Cli({"apply", upper, Photo("coffee.png"), "-o", (folder / "named.jpg").string(), "--quality", "80"});
  EXPECT_EQ(run.exitCode, 0) << run.out;
  EXPECT_TRUE(fs::exists(folder / "named.jpg"));
}

TEST(CliApply, TheSameSeedGivesTheSameBytes) {
  const fs::path folder = test::FreshFolder("cli_seed");
  const fs::path document = WriteDocument(folder, "MoodFilter");
  const auto render = [&](const std::string& seed, const std::string& name) {
    const fs::path out = folder / name;
    const CliRun run = Cli({"apply", document.string(), Photo("chelsea.png"), "-o", out.string(), "--seed", seed,
                         "--size", "320x240"});
    EXPECT_EQ(run.exitCode, 0) << run.out;
    return ReadBytes(out);
  };
  const std::string first = render("7", "a.png");
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(render("7", "b.png"), first);
  EXPECT_NE(render("8", "c.png"), first);
}

TEST(CliApply, MistakesAreExplainedWithTheirExitCodes) {
  const fs::path folder = test::FreshFolder("cli_mistakes");
  const fs::path document = WriteDocument(folder, "EmbossFilter");
  const std::string photo = Photo("coffee.png");
  const std::string out = (folder / "out.png").string();
  struct Case {
    std::vector<std::string> words;
    int exitCode;
    const char* says;
  } cases[] = {
      {{"apply", document.string(), photo, "-o", out, "--bogus"}, 2, "unknown option '--bogus'"},
      {{"apply", document.string(), photo}, 2, "needs -o OUT"},
      {{"apply", document.string(), photo, "-o", (folder / "out.tga").string()}, 2, "cannot tell the picture format"},
      {{"apply", document.string(), photo, "-o", out, "--size", "wide"}, 2, "WIDTHxHEIGHT"},
      {{"apply", document.string(), photo, "-o", out, "--var1", "11"}, 2, "'Amount' goes from 0 to 10"},
      {{"apply", document.string(), photo, "-o", out, "--var2", "1"}, 2, "has no variable 2"},
      {{"apply", document.string(), photo, "-o", out, "--roi", "0.5,0.5,0.8,0.2"}, 2, "inside the picture"},
      {{"apply", "No Such Effect At All", photo, "-o", out}, 3, "no template named"},
      {{"apply", (folder / "missing.xml").string(), photo, "-o", out}, 3, "no such file"},
      {{"apply", document.string(), (folder / "gone.jpg").string(), "-o", out}, 4, "no such file"},
      {{"apply", document.string(), (folder / "gone.jpg").string(), "-o", out}, 4, "loader: file not found"},
      {{"apply", document.string(), document.string(), "-o", out}, 4, "cannot read photo"},
      {{"apply", document.string(), document.string(), "-o", out}, 4, "loader: unknown or unsupported format"},
      {{"apply", document.string(), photo, "-o", out, "--gif"}, 2, ".gif"},
      {{"apply", document.string(), photo, "-o", (folder / "anim.gif").string(), "--gif"}, 6, "no animation"},
      {{"frobnicate"}, 2, "unknown command"},
  };
  for (const Case& c : cases) {
    const CliRun run = Cli(c.words);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.says << "\n" << run.out;
    EXPECT_NE(run.out.find(c.says), std::string::npos) << run.out;
  }
  EXPECT_FALSE(fs::exists(out)) << "nothing is written when the command fails";

  // An existing file is kept unless --force is given.
  ASSERT_EQ(Cli({"apply", document.string(), photo, "-o", out}).exitCode, 0);
  const std::string before = ReadBytes(out);
  const CliRun again = Cli({"apply", document.string(), Photo("chelsea.png"), "-o", out});
  EXPECT_EQ(again.exitCode, 5);
  EXPECT_NE(again.out.find("--force"), std::string::npos);
  EXPECT_EQ(ReadBytes(out), before);
  EXPECT_EQ(Cli({"apply", document.string(), Photo("chelsea.png"), "-o", out, "--force"}).exitCode, 0);
  EXPECT_NE(ReadBytes(out), before);
}

TEST(CliApply, TheResultHasThePhotosOwnSizeUnlessASizeIsGiven) {
  const fs::path folder = test::FreshFolder("cli_sizes");
  const fs::path document = WriteDocument(folder, "EmbossFilter");
  const fs::path wide = folder / "wide.png";  // wider than the studio's working cap
  ASSERT_TRUE(cv::imwrite(wide.string(), test::Flat(4200, 60, {90, 120, 150})));
  const std::string jpeg = ReadBytes(Photo("rocket.jpg"));
  const fs::path cut = folder / "cut.jpg";
  std::ofstream(cut, std::ios::binary) << jpeg.substr(0, jpeg.size() / 2);

  struct Case {
    fs::path photo;
    std::vector<std::string> size;
    cv::Size result;
    const char* says;
  } cases[] = {
      {wide, {}, {4200, 60}, ""},
      {wide, {"--size", "1000x1000"}, {1000, 14}, ""},
      {wide, {"--size", "6000x6000"}, {4200, 60}, ""},
      {cut, {}, {640, 427}, "warning: photo '"},
      {cut, {}, {640, 427}, "cut short"},
  };
  for (const Case& c : cases) {
    const fs::path out = folder / "out.png";
    std::vector<std::string> words = {"apply", document.string(), c.photo.string(), "-o", out.string(), "--force"};
    words.insert(words.end(), c.size.begin(), c.size.end());
    const CliRun run = Cli(words);
    ASSERT_EQ(run.exitCode, 0) << run.out;
    EXPECT_EQ(cv::imread(out.string()).size(), c.result) << c.photo << "\n" << run.out;
    EXPECT_NE(run.out.find(c.says), std::string::npos) << run.out;
  }
}

TEST(CliApply, AnUnknownNameSuggestsTheClosestTemplates) {
  const CliRun list = Cli({"list"});
  ASSERT_EQ(list.exitCode, 0);
  std::string name;
  std::istringstream lines(list.out);
  for (std::string line; std::getline(lines, line) && name.empty();)
    if (line.rfind("    ", 0) == 0 && line.size() > 7 && line[4] != ' ') name = line.substr(4);
  ASSERT_FALSE(name.empty());
  const std::string typo = name.substr(0, name.size() - 1) + "q";
  const CliRun run = Cli({"apply", typo, Photo("coffee.png"), "-o", "/tmp/unused.png"});
  EXPECT_EQ(run.exitCode, 3);
  EXPECT_NE(run.out.find("did you mean"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(name), std::string::npos) << run.out;
}

TEST(CliList, NamesAreTheTreesTemplatesOneALine) {
  const CliRun tree = Cli({"list", "--all"});
  const CliRun names = Cli({"list", "--all", "--names"});
  ASSERT_EQ(tree.exitCode, 0) << tree.out;
  ASSERT_EQ(names.exitCode, 0) << names.out;
  // The tree's templates are its leaves (a tab may hold templates without a
  // group), taken without their indentation and marks.
  std::vector<std::string> treeLines, fromTree, listed;
  std::istringstream treeText(tree.out), nameLines(names.out);
  for (std::string line; std::getline(treeText, line);)
    if (line.rfind("  ", 0) == 0) treeLines.push_back(line);
  const auto indent = [](const std::string& line) { return line.find_first_not_of(' '); };
  for (std::size_t i = 0; i < treeLines.size(); ++i) {
    const std::string& line = treeLines[i];
    if (i + 1 < treeLines.size() && indent(treeLines[i + 1]) > indent(line)) continue;
    const std::size_t start = indent(line);
    fromTree.push_back(line.substr(start, line.find(" (") - start));
  }
  for (std::string line; std::getline(nameLines, line);) listed.push_back(line);
  EXPECT_FALSE(listed.empty());
  EXPECT_EQ(listed, fromTree);
}

TEST(CliBatch, ABrokenPhotoIsReportedAndTheRestAreWritten) {
  const fs::path folder = test::FreshFolder("cli_batch");
  const fs::path inputs = folder / "in";
  fs::create_directories(inputs);
  fs::copy_file(Photo("coffee.png"), inputs / "one.png");
  fs::copy_file(Photo("chelsea.png"), inputs / "two.png");
  std::ofstream(inputs / "broken.jpg") << "this is not a picture";
  const fs::path document = WriteDocument(folder, "LomoFilter");
  const fs::path out = folder / "out";

  const CliRun run = Cli({"batch", document.string(), inputs.string(), "-o", out.string(), "--format", "png",
                       "--size", "160x120"});
  EXPECT_EQ(run.exitCode, 1) << run.out;
  EXPECT_NE(run.out.find("3 photos: 2 written"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("1 failed"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("broken.jpg"), std::string::npos) << run.out;
  EXPECT_TRUE(fs::exists(out / "one.png"));
  EXPECT_TRUE(fs::exists(out / "two.png"));
  EXPECT_FALSE(fs::exists(out / "broken.png"));

  const CliRun clean = Cli({"batch", document.string(), Photo("coffee.png"), "-o", out.string(), "--force"});
  EXPECT_EQ(clean.exitCode, 0) << clean.out;
  EXPECT_TRUE(fs::exists(out / "coffee.jpg"));
}

TEST(CliBatch, ARecursiveRunKeepsItsFoldersSaysWhatItSkipsAndResumes) {
  const fs::path folder = test::FreshFolder("cli_batch_tree");
  const fs::path in = folder / "in";
  fs::create_directories(in / "sub" / "deeper");
  fs::create_directories(in / ".hidden");
  fs::copy_file(Photo("coffee.png"), in / "a.png");
  const cv::Mat cat = cv::imread(Photo("chelsea.png"));
  ASSERT_TRUE(cv::imwrite((in / "sub" / "b.webp").string(), cat));
  ASSERT_TRUE(cv::imwrite((in / "sub" / "deeper" / "c.tif").string(), cat));
  fs::copy_file(Photo("coffee.png"), in / ".hidden" / "d.png");
  std::ofstream(in / "notes.txt") << "not a photo";
  const fs::path document = WriteDocument(folder, "LomoFilter");
  const fs::path out = in / "out";  // inside the tree it reads
  const std::vector<std::string> words = {"batch", document.string(), in.string(), "-o", out.string(), "-r",
                                          "--format", "webp", "--size", "80x60"};

  const CliRun first = Cli(words);
  EXPECT_EQ(first.exitCode, 0) << first.out;
  EXPECT_NE(first.out.find("3 photos: 3 written"), std::string::npos) << first.out;
  EXPECT_NE(first.out.find("skipped: " + (in / "notes.txt").string() + " (not a photo file)"), std::string::npos)
      << first.out;
  EXPECT_NE(first.out.find("skipped: " + (in / ".hidden").string() + " (hidden folder)"), std::string::npos) << first.out;
  EXPECT_NE(first.out.find("2 skipped"), std::string::npos) << first.out;
  for (const char* written : {"a.webp", "sub/b.webp", "sub/deeper/c.webp"})
    EXPECT_EQ(cv::imread((out / written).string()).cols, 80) << written;
  EXPECT_FALSE(fs::exists(out / "d.webp")) << "hidden folders are passed over";

  // Resumed: only the picture that is missing is made; the output folder,
  // now inside the tree, is not read as photos.
  fs::remove(out / "sub" / "b.webp");
  std::vector<std::string> resume = words;
  resume.push_back("--skip-existing");
  const CliRun second = Cli(resume);
  EXPECT_EQ(second.exitCode, 0) << second.out;
  EXPECT_NE(second.out.find("1 photo: 1 written"), std::string::npos) << second.out;
  EXPECT_NE(second.out.find("5 skipped"), std::string::npos) << second.out;
  EXPECT_NE(second.out.find("skipped: " + out.string() + " (the output folder)"), std::string::npos) << second.out;
  EXPECT_NE(second.out.find("skipped: " + (in / "a.png").string() + " ('" + (out / "a.webp").string() + "' exists)"),
            std::string::npos)
      << second.out;
  EXPECT_TRUE(fs::exists(out / "sub" / "b.webp"));

  // Photo paths from a pipe, one a line.
  const fs::path list = folder / "list.txt";
  std::ofstream(list) << (in / "a.png").string() << "\n" << (in / "sub" / "b.webp").string() << "\n";
  const CliRun piped = Cli({"batch", document.string(), "-", "-o", (folder / "flat").string(), "--size", "80x60"}, "", list);
  EXPECT_EQ(piped.exitCode, 0) << piped.out;
  EXPECT_TRUE(fs::exists(folder / "flat" / "a.jpg"));
  EXPECT_TRUE(fs::exists(folder / "flat" / "b.jpg"));
  EXPECT_EQ(Cli({"batch", document.string(), in.string(), "-o", "-"}).exitCode, 2);
}

TEST(CliApply, PicturesKeepThePhotosMetadataUnlessStrippedAndGoThroughPipes) {
  const fs::path folder = test::FreshFolder("cli_metadata");
  std::vector<std::uint8_t> jpeg;
  cv::imencode(".jpg", cv::imread(Photo("coffee.png")), jpeg);
  const fs::path photo = folder / "camera.jpg";
  std::ofstream(photo, std::ios::binary) << test::WithCameraMetadata(jpeg, test::AdobeRgbProfile(), 6, {600, 400});
  const fs::path document = WriteDocument(folder, "LomoFilter");

  for (const char* name : {"out.jpg", "out.png", "out.webp", "out.tif"}) {
    const CliRun run = Cli({"apply", document.string(), photo.string(), "-o", (folder / name).string()});
    ASSERT_EQ(run.exitCode, 0) << run.out;
    const auto image = test::ReadBackMetadata(ReadBytes(folder / name));
    EXPECT_EQ(image->exifData()["Exif.Photo.DateTimeOriginal"].toString(), test::kCameraCaptureDate) << name;
    EXPECT_EQ(image->exifData()["Exif.Image.Orientation"].toString(), "1") << name;
    EXPECT_EQ(image->exifData()["Exif.Photo.PixelXDimension"].toString(), "400") << name << ": upright";
    EXPECT_EQ(image->xmpData()["Xmp.xmp.Rating"].toString(), "4") << name;
  }
  const CliRun stripped = Cli({"apply", document.string(), photo.string(), "-o", (folder / "bare.jpg").string(), "--strip",
                               "--quality", "60"});
  ASSERT_EQ(stripped.exitCode, 0) << stripped.out;
  EXPECT_TRUE(test::ReadBackMetadata(ReadBytes(folder / "bare.jpg"))->exifData().empty());
  EXPECT_LT(fs::file_size(folder / "bare.jpg"), fs::file_size(folder / "out.jpg")) << "--quality 60";

  const CliRun piped = Cli({"apply", document.string(), "-", "-o", "-", "--format", "png"}, "", photo, folder / "piped.png");
  ASSERT_EQ(piped.exitCode, 0) << piped.out;
  EXPECT_EQ(cv::imread((folder / "piped.png").string()).size(), cv::Size(400, 600));
  EXPECT_EQ(test::ReadBackMetadata(ReadBytes(folder / "piped.png"))->exifData()["Exif.Image.Model"].toString(),
            "Canon EOS 5D Mark IV");
}

// Every template the library ships loads and renders: the gallery command
// fails when any of them does.
// Frames of a GIF file and its screen size; -1 when it does not decode.
int GifFrames(const fs::path& path, cv::Size* size) {
  int error = 0;
  GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
  if (!gif) return -1;
  const int frames = DGifSlurp(gif) == GIF_OK ? gif->ImageCount : -1;
  *size = {gif->SWidth, gif->SHeight};
  DGifCloseFile(gif, &error);
  return frames;
}

TEST(CliGif, ApplyAndBatchWriteTheTurningCube) {
  const fs::path folder = test::FreshFolder("cli_gif");
  const fs::path out = folder / "cube.gif";
  CliRun run = Cli({"apply", "Photo Cube", Photo("coffee.png"), Photo("chelsea.png"), "-o", out.string(), "--gif",
                    "--size", "200x200"});
  ASSERT_EQ(run.exitCode, 0) << run.out;
  cv::Size size;
  EXPECT_EQ(GifFrames(out, &size), 36);  // ten degrees apart, one turn
  EXPECT_EQ(size, cv::Size(200, 150));
  EXPECT_FALSE(fs::exists(folder / "cube.gif.part"));

  // The smaller file: the same turn, only what changes from frame to frame.
  const fs::path smaller = folder / "smaller.gif";
  run = Cli({"apply", "Photo Cube", Photo("coffee.png"), Photo("chelsea.png"), "-o", smaller.string(), "--gif",
             "--size", "200x200", "--gif-delay", "5"});
  ASSERT_EQ(run.exitCode, 0) << run.out;
  EXPECT_EQ(GifFrames(smaller, &size), 36);
  EXPECT_LT(fs::file_size(smaller), fs::file_size(out));
  run = Cli({"apply", "Photo Cube", Photo("coffee.png"), "-o", (folder / "x.png").string(), "--gif-delay", "5"});
  EXPECT_EQ(run.exitCode, 2) << run.out;

  const fs::path batch = folder / "batch";
  run = Cli({"batch", "Photo Cube", Photo("coffee.png"), Photo("rocket.jpg"), "-o", batch.string(), "--gif", "--size",
             "120x120"});
  ASSERT_EQ(run.exitCode, 0) << run.out;
  for (const char* name : {"coffee.gif", "rocket.gif"}) {
    EXPECT_EQ(GifFrames(batch / name, &size), 36) << name;
    EXPECT_EQ(size, cv::Size(120, 90)) << name;
  }
  // A frame does not move: nothing to animate, nothing written.
  run = Cli({"batch", "Wooden Frame", Photo("coffee.png"), "-o", (folder / "still").string(), "--gif"});
  EXPECT_EQ(run.exitCode, 6) << run.out;
  EXPECT_NE(run.out.find("no animation"), std::string::npos) << run.out;
  EXPECT_FALSE(fs::exists(folder / "still" / "coffee.gif"));
}

TEST(CliGallery, EveryShippedTemplateRenders) {
  const fs::path folder = test::FreshFolder("cli_gallery");
  const fs::path photo = folder / "small.png";
  cv::Mat small;
  cv::resize(test::SamplePhoto("astronaut.png"), small, {160, 120});
  ASSERT_TRUE(cv::imwrite(photo.string(), small));
  const CliRun run = Cli({"gallery", photo.string(), "-o", (folder / "out").string(), "--all", "--seed", "1"});
  ASSERT_EQ(run.exitCode, 0) << run.out;
  int pictures = 0, thumbs = 0;
  for (const auto& item : fs::directory_iterator(folder / "out")) pictures += item.path().extension() == ".jpg";
  for (const auto& item : fs::directory_iterator(folder / "out" / "thumbs")) {
    ++thumbs;
    const cv::Mat thumb = cv::imread(item.path().string());
    EXPECT_TRUE(thumb.cols == 129 || thumb.rows == 86) << item.path();
  }
  EXPECT_GE(pictures, 20);
  EXPECT_EQ(pictures, thumbs);
  EXPECT_TRUE(fs::exists(folder / "out" / "contact_sheet.png"));

  // Run again without --force, over a sheet of the user's: nothing is replaced.
  std::ofstream(folder / "out" / "contact_sheet.png") << "mine";
  const CliRun again = Cli({"gallery", photo.string(), "-o", (folder / "out").string(), "--seed", "1"});
  EXPECT_NE(again.exitCode, 0) << again.out;
  EXPECT_NE(again.out.find("contact_sheet.png' already exists"), std::string::npos) << again.out;
  EXPECT_EQ(ReadBytes(folder / "out" / "contact_sheet.png"), "mine");
}

TEST(CliData, TheProgramFolderHoldsTheSamplePhotoAndTheFaceCascade) {
  const fs::path folder = fs::path(GRINSNAP_CLI).parent_path();
  EXPECT_FALSE(cv::imread((folder / "media/Images/default/Default1.jpg").string()).empty());
  const fs::path cascade = folder / "media/Configurations/haarcascade_frontalface_alt2.xml";
  ASSERT_TRUE(fs::exists(cascade));
  EXPECT_NE(ReadBytes(cascade).find("opencv_storage"), std::string::npos);
  EXPECT_TRUE(fs::exists(folder / "config.cfg"));
  EXPECT_TRUE(fs::exists(folder / "lang/lang_eng.ini"));
}

TEST(CliData, AHomeThatCannotBeWrittenIsNoted) {
  // A home below a plain file cannot be made, not even by root.
  const fs::path folder = test::FreshFolder("cli_no_home");
  std::ofstream(folder / "file") << "not a folder";
  const std::string environment = "-u XDG_DATA_HOME -u XDG_CONFIG_HOME -u XDG_DOCUMENTS_DIR HOME=" +
                                  Quote((folder / "file" / "home").string());
  const std::string note = "user data cannot be saved";
  auto count = [](const std::string& text, const std::string& part) {
    int n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
  };

  const CliRun list = Cli({"list"}, environment);
  EXPECT_EQ(list.exitCode, 0) << list.out;
  EXPECT_NE(list.out.find("2D Templates"), std::string::npos) << list.out;
  EXPECT_EQ(count(list.out, note), 1) << list.out;

  const CliRun apply = Cli({"apply", "Sepia", Photo("coffee.png"), "-o", (folder / "sepia.jpg").string()}, environment);
  EXPECT_EQ(apply.exitCode, 0) << apply.out;
  EXPECT_TRUE(fs::exists(folder / "sepia.jpg"));

  // The failed load cannot be logged either: still one note.
  const CliRun missing = Cli({"apply", "Sepia", (folder / "gone.jpg").string(), "-o", (folder / "x.jpg").string()},
                             environment);
  EXPECT_EQ(missing.exitCode, 4) << missing.out;
  EXPECT_NE(missing.out.find("loader: file not found"), std::string::npos) << missing.out;
  EXPECT_EQ(count(missing.out, note), 1) << missing.out;
}

TEST(CliFaces, PrintsAndMarksTheFacesOrTheDefaultBox) {
  const fs::path folder = test::FreshFolder("cli_faces");
  const fs::path marked = folder / "marked.png";
  const CliRun text = Cli({"faces", Photo("astronaut.png"), "--mark", marked.string()});
  ASSERT_EQ(text.exitCode, 0) << text.out;
  for (const char* part : {"512x512, working image 600x600", "face 1 of 1:", "left eye:", "right eye:", "mouth:",
                           "detection time = "})
    EXPECT_NE(text.out.find(part), std::string::npos) << part << "\n" << text.out;
  const cv::Mat picture = cv::imread(marked.string());
  ASSERT_EQ(picture.size(), cv::Size(512, 512));
  EXPECT_GT(cv::norm(picture, test::SamplePhoto("astronaut.png"), cv::NORM_INF), 0);
  EXPECT_EQ(Cli({"faces", Photo("astronaut.png"), "--mark", marked.string()}).exitCode, 5);

  const CliRun json = Cli({"faces", Photo("coffee.png"), "--json"});
  ASSERT_EQ(json.exitCode, 0) << json.out;
  for (const char* part : {"\"found\": false", "\"faces\": [", "\"leftEye\": [[", "\"workingBox\": [0, 0, 0, 0]"})
    EXPECT_NE(json.out.find(part), std::string::npos) << part << "\n" << json.out;

  // Without the cascade the command says which file it missed.
  const CliRun missing = Cli({"faces", Photo("astronaut.png")}, "GRINSNAP_DATA_DIR=" + Quote(folder.string()));
  EXPECT_EQ(missing.exitCode, 7) << missing.out;
  EXPECT_NE(missing.out.find("cannot load the face cascade '" + (folder / "media").string()), std::string::npos)
      << missing.out;
  EXPECT_EQ(Cli({"faces", (folder / "gone.png").string()}).exitCode, 4);
}

TEST(CliPackages, TheOnlineCatalogueInstallsAndRenders) {
  const fs::path out = test::FreshFolder("cli_packages");
  const std::pair<const char*, const char*> catalogue[] = {
      {"Arctic Frost", "arctic_frost"}, {"Amber Glow", "amber_glow"}, {"Cold Press Graphite", "cold_press_graphite"}};
  CliRun run = Cli({"list"});
  for (const auto& [name, file] : catalogue) EXPECT_NE(run.out.find(std::string(name) + " (online)\n"), std::string::npos);
  for (const auto& [name, file] : catalogue) {
    SCOPED_TRACE(name);
    const fs::path package = fs::path(GRINSNAP_SITE_DIR) / "templates" / (std::string(file) + ".zip");
    run = Cli({"install", package.string()});
    ASSERT_EQ(run.exitCode, 0) << run.out;
    EXPECT_NE(run.out.find(std::string("installed '") + name + "'"), std::string::npos) << run.out;
    const fs::path picture = out / (std::string(file) + ".png");
    run = Cli({"apply", name, Photo("coffee.png"), "-o", picture.string(), "--size", "160x120"});
    ASSERT_EQ(run.exitCode, 0) << run.out;
    EXPECT_FALSE(cv::imread(picture.string()).empty());
  }
  run = Cli({"list"});
  for (const auto& [name, file] : catalogue)
    EXPECT_NE(run.out.find(std::string(name) + " (online, downloaded)"), std::string::npos) << run.out;

  // A package of one's own, made by pack, installs under a name given.
  const fs::path folder = out / "My Amber";
  fs::create_directories(folder);
  std::ofstream(folder / "mine.xml") << "<effect><template name=\"Mine\"/><filter name=\"SimpleTemplate\">"
                                        "<filter name=\"MoonFilter\"/></filter></effect>";
  run = Cli({"pack", folder.string(), "-o", (out / "mine.zip").string()});
  ASSERT_EQ(run.exitCode, 0) << run.out;
  EXPECT_EQ(Cli({"pack", folder.string(), "-o", (out / "mine.zip").string()}).exitCode, 5);  // exists
  run = Cli({"install", (out / "mine.zip").string(), "--template", "Amber Glow"});
  ASSERT_EQ(run.exitCode, 0) << run.out;
  EXPECT_NE(run.out.find("My Amber/mine.tmpl"), std::string::npos) << run.out;

  // What cannot be installed says why and changes nothing.
  ASSERT_FALSE(test::TestPackages().empty());
  run = Cli({"install", (test::TestPackages() / "slip_parent.zip").string(), "--template", "Arctic Frost"});
  EXPECT_EQ(run.exitCode, 3);
  EXPECT_NE(run.out.find("climbs out"), std::string::npos) << run.out;
  run = Cli({"install", (out / "mine.zip").string()});
  EXPECT_EQ(run.exitCode, 3);
  EXPECT_NE(run.out.find("no online template named 'mine'"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("'Cold Press Graphite'"), std::string::npos) << run.out;
}

TEST(CliHelp, EveryCommandHasHelpAndTheVersionIsShown) {
  for (const char* command : {"list", "apply", "batch", "gallery", "classes", "faces", "pack", "install"}) {
    const CliRun run = Cli({command, "--help"});
    EXPECT_EQ(run.exitCode, 0) << command;
    EXPECT_NE(run.out.find("Usage: grinsnap-cli"), std::string::npos) << command;
    EXPECT_NE(run.out.find("Exit codes"), std::string::npos) << command;
  }
  EXPECT_NE(Cli({"--version"}).out.find("grinsnap-cli 1."), std::string::npos);
  const CliRun classes = Cli({"classes"});
  EXPECT_NE(classes.out.find("SimpleTemplate"), std::string::npos);
  EXPECT_NE(classes.out.find("CombineFilter"), std::string::npos);
}

}  // namespace
}  // namespace grinsnap
