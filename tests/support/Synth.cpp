// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/Synth.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <random>
#include <stdexcept>
#include <vips/vips8>

namespace Synth {
namespace {

std::uint8_t clampByte(double value) {
    return static_cast<std::uint8_t>(std::lround(std::clamp(value, 0.0, 255.0)));
}

Image blankRgb(int widthPixels, int heightPixels) {
    Image image;
    image.widthPixels = widthPixels;
    image.heightPixels = heightPixels;
    image.channels = 3;
    image.pixels.resize(image.byteCount());
    return image;
}

void ensureVips() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (VIPS_INIT("parvo-tests") != 0)
            throw std::runtime_error("libvips failed to start");
    });
}

} // namespace

Image photoLike(int widthPixels, int heightPixels, unsigned seed) {
    Image image = blankRgb(widthPixels, heightPixels);
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> phase(0, 6.283);
    std::normal_distribution<double> grain(0, 6);
    const double a = phase(random), b = phase(random), c = phase(random);
    const double scale = 6.283 / std::max(widthPixels, heightPixels);
    std::uint8_t* out = image.pixels.data();
    for (int y = 0; y < heightPixels; ++y) {
        for (int x = 0; x < widthPixels; ++x) {
            const double u = x * scale, v = y * scale;
            const double r = 128 + 90 * std::sin(3 * u + a) * std::cos(2 * v + b);
            const double g = 120 + 80 * std::sin(5 * v + c + std::sin(7 * u));
            const double bl = 110 + 70 * std::cos(4 * u - 3 * v + a);
            const double texture = 25 * std::sin(40 * u + 9 * std::sin(31 * v)) * std::sin(23 * v);
            *out++ = clampByte(r + texture + grain(random));
            *out++ = clampByte(g + texture + grain(random));
            *out++ = clampByte(bl + texture + grain(random));
        }
    }
    return image;
}

Image screenshotLike(int widthPixels, int heightPixels, unsigned seed) {
    Image image = blankRgb(widthPixels, heightPixels);
    std::mt19937 random(seed);
    std::fill(image.pixels.begin(), image.pixels.end(), std::uint8_t{245});
    std::uniform_int_distribution<int> coin(0, 99);
    for (int y = 0; y < heightPixels; ++y) {
        const bool toolbar = y < heightPixels / 12;
        const bool textRow = (y / 6) % 3 != 2 && !toolbar;
        for (int x = 0; x < widthPixels; ++x) {
            std::uint8_t* pixel =
                &image.pixels[(static_cast<std::size_t>(y) * widthPixels + x) * 3];
            if (toolbar) {
                pixel[0] = 60, pixel[1] = 90, pixel[2] = 160;
            } else if (textRow && x % 9 < 6 && coin(random) < 35) {
                pixel[0] = pixel[1] = pixel[2] = 20;
            }
        }
    }
    return image;
}

void save(const Image& image, const std::filesystem::path& path) {
    ensureVips();
    try {
        vips::VImage wrapped = vips::VImage::new_from_memory(
            const_cast<std::uint8_t*>(image.pixels.data()), image.pixels.size(), image.widthPixels,
            image.heightPixels, image.channels, VIPS_FORMAT_UCHAR);
        wrapped.write_to_file(path.c_str());
    } catch (const vips::VError& error) {
        throw std::runtime_error(std::string("saving a test image failed: ") + error.what());
    }
}

Bytes jpegBytes(const Image& image) {
    TempDir dir;
    save(image, dir / "image.jpg");
    return readFile(dir / "image.jpg");
}

void writeFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("writing " + path.string() + " failed");
}

Bytes readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("reading " + path.string() + " failed");
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "parvo-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(m_path, ignored);
}

} // namespace Synth
