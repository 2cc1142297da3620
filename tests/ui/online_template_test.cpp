// The shipped online catalogue downloaded from the site the build lays out,
// started by a double click on the preview.
#include <gtest/gtest.h>

#include <QtCore/qtestsupport_core.h>

#include "app/template_download.h"
#include "app/template_library.h"
#include "core/process_engine.h"
#include "test_support/package_site.h"
#include "test_support/qt_input.h"
#include "test_support/qt_test_app.h"
#include "test_support/test_support.h"
#include "ui/app_context.h"
#include "ui/gallery_widget.h"
#include "ui/main_window.h"
#include "ui/option_panes.h"
#include "ui/preview_widget.h"
#include "ui/work_area.h"

namespace fs = std::filesystem;

namespace grinsnap {
namespace {

TEST(OnlineTemplate, ADoubleClickOnThePreviewInstallsTheSelectedOne) {
  test::QtApp();
  RegisterUiClasses();
  test::PackageSite site(GRINSNAP_SITE_DIR);
  ASSERT_TRUE(site.Running());
  setenv("GRINSNAP_DATA_DIR", GRINSNAP_BUILT_DATA_DIR, 1);
  AppContext app;
  app.programFolder = GRINSNAP_BUILT_DATA_DIR;
  SetApp(&app);
  {
    SiteConfig config;
    config.url = site.Url("/slow");
    CurlDownloadService downloads(test::FreshFolder("online-downloads"), config);
    MainWindow window(app);
    window.resize(1100, 700);
    window.show();
    GalleryWidget& gallery = window.Work().Gallery();
    gallery.SetDownloadService(&downloads);
    TemplateEntry* frost = nullptr;
    for (const auto& column : app.library.Columns())
      for (const auto& entry : column->entries)
        if (entry->name == "Arctic Frost") frost = entry.get();
    ASSERT_NE(frost, nullptr);
    ASSERT_TRUE(frost->online);
    ASSERT_EQ(frost->document, nullptr);
    window.Work().AddPhotos({QString::fromStdString((test::DataDir() / "photos" / "coffee.png").string())});
    ASSERT_TRUE(QTest::qWaitFor([&] { return app.engine.GetPhotoCount() == 1; }, 10000));

    gallery.MarkSelected(frost);
    test::DoubleClick(window.Work().Preview(), window.Work().Preview().rect().center());
    EXPECT_EQ(gallery.ItemState(*frost), kItemDownloading);
    ASSERT_TRUE(QTest::qWaitFor([&] { return gallery.ItemState(*frost) != kItemDownloading; }, 10000));
    EXPECT_EQ(gallery.ItemState(*frost), kItemDownloaded);
    ASSERT_NE(frost->document, nullptr);
    EXPECT_TRUE(fs::exists(fs::path(frost->directory) / "arctic_frost" / "thumb.jpg"));
    // The work area took the installed template.
    EXPECT_NE(app.engine.Template(), nullptr);
  }
  SetApp(nullptr);
  unsetenv("GRINSNAP_DATA_DIR");
}

}  // namespace
}  // namespace grinsnap
