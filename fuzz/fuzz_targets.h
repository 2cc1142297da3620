#pragma once

// The entry points of the fuzz targets. Each takes any bytes, must never
// crash, hang or leak, and returns 0. The fuzzers call them from
// LLVMFuzzerTestOneInput; the test suite replays the kept corpora through
// them in the ordinary build.

#include <cstddef>
#include <cstdint>

namespace grinsnap::fuzz {

// Registers the built-in classes once; every target calls it.
void Initialise();

// A template document: parse, create the template, load it, and one render
// at 64 x 64 through Render.
int TemplateDocument(const std::uint8_t* data, std::size_t size);

// An INI file: read as the settings file, saved and read back (what was read
// must survive), and every lookup the language layer makes.
int IniFile(const std::uint8_t* data, std::size_t size);

// The template library files: the first byte chooses whether the rest is the
// user's template.cfg (merged with a shipped list, read, written back), the
// shipped list merged into a user's list, or config.cfg.
int TemplateLibrary(const std::uint8_t* data, std::size_t size);

// A photo file: loaded as the engine loads photos (header checks, colour
// profile, orientation, metadata), its EXIF, IPTC and XMP read as a saved
// picture keeps them, and a small picture written with them as JPEG and PNG.
int PhotoFile(const std::uint8_t* data, std::size_t size);

}  // namespace grinsnap::fuzz
