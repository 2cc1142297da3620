#include "fuzz/fuzz_targets.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <string_view>

#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>

#include "app/ini_file.h"
#include "app/language.h"
#include "app/picture_file.h"
#include "app/settings.h"
#include "app/settings_storage_ini.h"
#include "app/template_library.h"
#include "core/effect_template.h"
#include "core/render.h"
#include "core/template_document.h"
#include "platform/folders.h"
#include "platform/image_loader.h"
#include "templates/builtin_classes.h"

namespace fs = std::filesystem;

namespace grinsnap::fuzz {
namespace {

std::string_view Text(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

const fs::path& ScratchBase() {
  static const fs::path base = fs::temp_directory_path() / ("grinsnap-fuzz-" + std::to_string(::getpid()));
  return base;
}

// A scratch folder of this process, emptied for every input.
fs::path Scratch(const char* name) {
  const fs::path folder = ScratchBase() / name;
  std::error_code ec;
  fs::remove_all(folder, ec);
  fs::create_directories(folder, ec);
  return folder;
}

void Write(const fs::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A failed run says so; the fuzzer stops on it like on a crash.
void Require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
  }
}

}  // namespace

void Initialise() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterBuiltinClasses();
    // One thread: the fuzzer measures one input at a time.
    cv::setNumThreads(1);
    cv::redirectError([](int, const char*, const char*, const char*, int, void*) { return 0; });
    // User data (the log of failed loads) goes to the scratch folder.
    setenv("XDG_DATA_HOME", Scratch("data").c_str(), 1);
    SetUserDataProblemHandler([](const fs::path&, const std::string&) {});
    std::atexit([] {
      std::error_code ec;
      fs::remove_all(ScratchBase(), ec);
    });
  });
}

int TemplateDocument(const std::uint8_t* data, std::size_t size) {
  Initialise();
  const auto document = grinsnap::TemplateDocument::FromText(Text(data, size));
  if (!document) return 0;
  static const fs::path folder = Scratch("template");
  TemplateRef effect(CreateTemplateFromDocument(document, folder));
  if (!effect) return 0;
  static const cv::Mat photo = [] {
    cv::Mat m(64, 64, CV_8UC3);
    cv::randu(m, 0, 256);
    return m;
  }();
  Render(*effect, {.sources = std::span<const cv::Mat>(&photo, 1), .size = OutputSize::Fit({64, 64}), .seed = 1});
  return 0;
}

int IniFile(const std::uint8_t* data, std::size_t size) {
  Initialise();
  const std::string_view bytes = Text(data, size);
  // Lookups as the language layer makes them.
  const grinsnap::IniFile ini = grinsnap::IniFile::Parse(bytes);
  for (const char* section : {"STRING", "DICTIONARY", "General", "LANGUAGE", "Grinsnap"})
    for (const char* key : {"101", "Language", "0x0409", "language", "title"}) ini.ProfileString(section, key);
  // A saved file keeps every value, and saving it again changes nothing.
  const std::string printed = ini.Print();
  const grinsnap::IniFile saved = grinsnap::IniFile::Parse(printed);
  const std::string resaved = saved.Print();
  Require(grinsnap::IniFile::Parse(resaved).Print() == resaved, "an INI file changes every time it is saved");
  // (Text with NUL bytes or byte order marks inside may read as another
  // encoding once it is at the start of the saved file.)
  if (bytes.find('\0') == std::string_view::npos && bytes.find("\xEF\xBB\xBF", 1) == std::string_view::npos &&
      bytes.find("\xFF\xFE") == std::string_view::npos && bytes.find("\xFE\xFF") == std::string_view::npos) {
    for (const grinsnap::IniFile::Section& section : ini.Sections())
      for (const grinsnap::IniFile::Entry& entry : section.entries) {
        // (An entry of a later section of the same name is never looked up.)
        const std::string* before = ini.FindRaw(section.name, entry.key);
        const std::string* after = saved.FindRaw(section.name, entry.key);
        Require(!before || (after && *after == *before), "a value is lost when an INI file is saved");
      }
  }

  // The settings file: read, saved, read back the same.
  const fs::path folder = Scratch("ini");
  const fs::path file = folder / "Grinsnap.ini";
  Write(file, bytes);
  CGRSSettings settings;
  CSettingsStorageIni storage(file);
  settings.LoadAtStart(storage, {0, 0, 1920, 1080}, folder);
  Require(CGRSSettings::SensibleWindowRect(settings.WindowRect()), "a window rectangle that makes no sense");
  Require(settings.Save(storage), "the settings cannot be saved");
  CGRSSettings again;
  CSettingsStorageIni reread(file);
  again.LoadAtStart(reread, {0, 0, 1920, 1080}, folder);
  Require(again.language == settings.language && again.password == settings.password &&
              again.WindowRect() == settings.WindowRect() && again.exportPath == settings.exportPath &&
              again.photoShareMessage == settings.photoShareMessage,
          "a saved setting reads back differently");

  // As a language file, and as the language lookup file.
  Write(folder / "lang_fzz.ini", bytes);
  Write(folder / kLanguageLookupFile, bytes);
  settings.language = "lang_fzz.ini";
  CLanguage language(folder, settings);
  language.Text(101);
  language.Translate("Sepia");
  language.BitmapFile(1);
  language.ImageFile(1);
  ResolveLanguageAtStart(settings, folder, 0x0409);
  BuildLanguageMenu(folder, settings);
  return 0;
}

int TemplateLibrary(const std::uint8_t* data, std::size_t size) {
  Initialise();
  if (size == 0) return 0;
  const int mode = data[0] % 3;
  const std::string_view bytes = Text(data + 1, size - 1);
  const fs::path root = Scratch("library");
  LibraryEnvironment environment;
  environment.programFolder = root / "program";
  environment.documents = root / "documents";
  environment.appData = root / "appdata";
  environment.programVersion = 100;
  fs::create_directories(environment.programFolder / "thumb");
  Write(environment.programFolder / "thumb" / "a.png", "thumbnail");
  Write(environment.programFolder / "doc.xml",
        "<t><template name=\"Doc\"/><filter name=\"SimpleTemplate\"><filter name=\"ColorFilter\"/></filter></t>");
  const std::string shipped =
      "<lib><version ver=\"100\"/><columns><column name=\"c\" path=\"Tab\\Group\">"
      "<template name=\"A\" filepath=\"$(Program)\\doc.xml\" thumb=\".\\thumbs\\a.png\" ver=\"2\"/>"
      "<template name=\"Web\" online=\"1\" url=\"u\" ver=\"1\"/></column></columns>"
      "<templates><template column=\"c\" name=\"B\" filepath=\".\\b.xml\"/></templates></lib>";
  const std::string directory = (root / "user").string() + "/";
  fs::create_directories(directory);

  grinsnap::TemplateLibrary library;
  switch (mode) {
    case 0: {  // the user's list, merged with the shipped one, read and written back
      Write(environment.programFolder / "init.cfg", shipped);
      Write(directory + kTemplateFileName, bytes);
      library.ReadDirectory(directory, environment.programFolder / "init.cfg", environment);
      break;
    }
    case 1: {  // a shipped list merged into a user's list
      Write(environment.programFolder / "init.cfg", bytes);
      Write(directory + kTemplateFileName, shipped);
      library.ReadDirectory(directory, environment.programFolder / "init.cfg", environment);
      break;
    }
    default: {  // config.cfg
      Write(environment.programFolder / kConfigFileName, bytes);
      library.Read(environment);
      break;
    }
  }
  for (const auto& column : library.Columns())
    for (const auto& entry : column->entries) {
      entry->ThumbPath();
      grinsnap::TemplateLibrary::SetFlag(*entry, TemplateFlag::Hide, !entry->hide);
    }
  library.WriteBack();
  // Nothing is written beside the folders the lists belong to.
  for (const auto& item : fs::directory_iterator(root.parent_path())) {
    const std::string name = item.path().filename().string();
    Require(name == "data" || name == "template" || name == "ini" || name == "library",
            "a file was written outside the template directory");
  }
  tinyxml2::XMLDocument salvaged;
  SalvageTemplateList(bytes, salvaged);
  return 0;
}

int PhotoFile(const std::uint8_t* data, std::size_t size) {
  Initialise();
  const fs::path path = Scratch("photo") / "photo";
  Write(path, Text(data, size));
  ImageLoadOptions options;
  options.keepAlpha = size > 0 && data[size - 1] % 2 == 1;
  const ImageLoadResult loaded = LoadImageFile(path, options);
  Require(loaded.image.empty() != loaded.failure.empty(), "a load neither failed nor gave a picture");
  const PhotoMetadataRead metadata = ReadPhotoMetadata(path);
  PictureWriteOptions write;
  write.source = metadata.metadata.get();
  write.title = "fuzz";
  const cv::Mat picture = loaded.image.empty() ? cv::Mat(8, 8, CV_8UC3, cv::Scalar(1, 2, 3)) : loaded.image;
  cv::Mat small;
  cv::resize(picture, small, {std::min(picture.cols, 32), std::min(picture.rows, 32)});
  for (const PictureFormat format : {PictureFormat::kJpeg, PictureFormat::kPng}) {
    std::string bytes;
    Require(EncodePicture(small, format, write, bytes), "a picture with the photo's metadata cannot be written");
  }
  return 0;
}

}  // namespace grinsnap::fuzz
