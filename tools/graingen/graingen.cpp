// Makes the nine film grain textures grain_1a.png ... grain_3c.png: 2048 x 2048 8-bit grey noise
// around middle grey, clumped a little like silver grain, its amplitude rising with the level.
// The output depends only on this file, so running it again gives the same pixels. The build runs
// it (the nine files would weigh some 25 MB in the repository); a 24 MP picture enlarges them
// about 3x, so the grain stays fine.
//
//     graingen <output folder>

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int side = 2048;
// Standard deviation of each level, in 0...1 grey.
constexpr double levelDeviation[3] = {0.025, 0.045, 0.07};

// SplitMix64: a small, fully specified generator, so the files don't depend on a library's RNG.
struct SplitMix64 {
    uint64_t state;
    uint64_t next()
    {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double uniform() { return (double(next() >> 11) + 0.5) * 0x1.0p-53; } // never 0 or 1
};

std::vector<double> gaussianNoise(uint64_t seed)
{
    SplitMix64 random{seed};
    std::vector<double> noise(size_t(side) * side);
    for (size_t i = 0; i < noise.size(); i += 2) {
        const double radius = std::sqrt(-2.0 * std::log(random.uniform()));
        const double angle = 2.0 * M_PI * random.uniform();
        noise[i] = radius * std::cos(angle);
        noise[i + 1] = radius * std::sin(angle);
    }
    return noise;
}

// A small wrap-around blur, so the texture tiles seamlessly and the grain has some body.
std::vector<double> clumped(const std::vector<double>& noise)
{
    const double taps[3] = {0.25, 0.5, 0.25};
    std::vector<double> rows(noise.size()), out(noise.size());
    auto at = [](int v) { return (v + side) % side; };
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            double sum = 0;
            for (int k = -1; k <= 1; ++k) sum += taps[k + 1] * noise[size_t(y) * side + at(x + k)];
            rows[size_t(y) * side + x] = sum;
        }
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            double sum = 0;
            for (int k = -1; k <= 1; ++k) sum += taps[k + 1] * rows[size_t(at(y + k)) * side + x];
            out[size_t(y) * side + x] = sum;
        }
    return out;
}

// Rescales to zero mean and the level's deviation, then quantises around 127.5.
std::vector<uint8_t> quantised(const std::vector<double>& field, double deviation)
{
    double mean = 0, square = 0;
    for (double v : field) mean += v;
    mean /= double(field.size());
    for (double v : field) square += (v - mean) * (v - mean);
    const double scale = deviation * 255.0 / std::sqrt(square / double(field.size()));
    std::vector<uint8_t> bytes(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        const double v = std::floor(127.5 + (field[i] - mean) * scale + 0.5);
        bytes[i] = uint8_t(std::clamp(v, 0.0, 255.0));
    }
    return bytes;
}

bool writeGreyPNG(const std::string& path, const std::vector<uint8_t>& pixels)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = side;
    image.height = side;
    image.format = PNG_FORMAT_GRAY;
    if (!png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), side, nullptr)) {
        std::fprintf(stderr, "[graingen] could not write %s: %s\n", path.c_str(), image.message);
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: graingen <output folder>\n");
        return 2;
    }
    const std::string folder = argv[1];
    for (int level = 1; level <= 3; ++level)
        for (int variant = 0; variant < 3; ++variant) {
            const uint64_t seed = 0x677261696E000000ull + uint64_t(level * 16 + variant);
            const auto pixels = quantised(clumped(gaussianNoise(seed)), levelDeviation[level - 1]);
            const std::string name = "grain_" + std::to_string(level) + char('a' + variant) + ".png";
            if (!writeGreyPNG(folder + "/" + name, pixels)) return 1;
        }
    return 0;
}
