// Times loading a big camera-sized JPEG and measures the memory it takes:
// the loader's full decode, and a photo item's working image (capped at
// 4096 x 4096), each in a process of its own so that peak memory is that of
// one load. The photo is made once from a sample photo scaled up.
//
//   grinsnap_load_bench [JPEG]   (default: /tmp/grinsnap-load-bench.jpg, 12000 x 9000)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "core/photo_item.h"
#include "platform/image_loader.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRuns = 3;

// Resident memory of the process now, in MiB.
double ResidentMiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  return 0;
}

double PeakMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// One measurement: the fastest of a few loads, and the peak memory above
// what the process held before the first one.
int Measure(const char* mode, const fs::path& photo) {
  const double before = ResidentMiB();
  double best = 1e30;
  cv::Size size;
  for (int run = 0; run < kRuns; ++run) {
    const auto start = Clock::now();
    if (std::strcmp(mode, "loader") == 0) {
      size = grinsnap::LoadImageFile(photo).size();
    } else {
      grinsnap::PhotoItem item(photo);
      size = item.WorkingImage().size();
    }
    best = std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  std::printf("%-8s %12s %10.0f %12.0f\n", mode, (std::to_string(size.width) + "x" + std::to_string(size.height)).c_str(),
              best, PeakMiB() - before);
  return size.area() > 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3) return Measure(argv[1], argv[2]);

  const fs::path photo = argc > 1 ? fs::path(argv[1]) : fs::path("/tmp/grinsnap-load-bench.jpg");
  if (!fs::exists(photo)) {
    cv::Mat sample = cv::imread(GRINSNAP_BENCH_JPEG, cv::IMREAD_COLOR);
    if (sample.empty()) sample = cv::Mat(600, 800, CV_8UC3, cv::Scalar(90, 120, 150));
    cv::resize(sample, sample, {12000, 9000}, 0, 0, cv::INTER_CUBIC);
    if (!cv::imwrite(photo.string(), sample, {cv::IMWRITE_JPEG_QUALITY, 92})) {
      std::fprintf(stderr, "cannot write %s\n", photo.c_str());
      return 1;
    }
  }
  std::printf("%s, %.1f MB\n", photo.c_str(), static_cast<double>(fs::file_size(photo)) / 1e6);
  std::printf("%-8s %12s %10s %12s\n", "load", "size", "best ms", "peak MiB");
  int failed = 0;
  for (const char* mode : {"loader", "photo"}) {
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
      execl("/proc/self/exe", argv[0], mode, photo.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    failed += !(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  return failed;
}
