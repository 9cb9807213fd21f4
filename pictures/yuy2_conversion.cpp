#include "pictures/yuy2_conversion.h"

#include <cstddef>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define LUMISIGHT_X86 1
#endif

namespace {

constexpr float kLumaScale = 1.164f;
constexpr float kBlueFromU = 2.018f;
constexpr float kGreenFromV = 0.813f;
constexpr float kGreenFromU = 0.391f;
constexpr float kRedFromV = 1.596f;

using RowKernel = void (*)(const std::uint8_t* source, int width, std::uint8_t* destination);

void ConvertRowScalar(const std::uint8_t* source, int width, std::uint8_t* destination) {
    for (int x = 0; x < width; x += 2) {
        ConvertYuy2Pair(source + 2 * x, destination + 3 * x);
    }
}

#if LUMISIGHT_X86

// 16 pixels of the frame: their luma, and the chroma of each pixel's pair repeated per pixel.
struct PixelBlock {
    __m128i y;
    __m128i u;
    __m128i v;
};

__attribute__((target("ssse3"))) inline PixelBlock LoadBlock(const std::uint8_t* source) {
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 16));
    const __m128i evenBytes = _mm_set1_epi16(0x00FF);
    const __m128i luma =
        _mm_packus_epi16(_mm_and_si128(low, evenBytes), _mm_and_si128(high, evenBytes));
    const __m128i chroma = _mm_packus_epi16(_mm_srli_epi16(low, 8), _mm_srli_epi16(high, 8));
    const __m128i zero = _mm_setzero_si128();
    const __m128i u = _mm_packus_epi16(_mm_and_si128(chroma, evenBytes), zero);
    const __m128i v = _mm_packus_epi16(_mm_srli_epi16(chroma, 8), zero);
    return {luma, _mm_unpacklo_epi8(u, u), _mm_unpacklo_epi8(v, v)};
}

// The shuffle that puts byte p of one channel plane at its place in 16 bytes of the
// interleaved blue-green-red output; other places get zero.
__attribute__((target("ssse3"))) inline __m128i InterleaveMask(int part, int channel) {
    alignas(16) std::int8_t mask[16];
    for (int i = 0; i < 16; ++i) {
        const int j = 16 * part + i;
        mask[i] = (j % 3 == channel) ? static_cast<std::int8_t>(j / 3) : std::int8_t{-128};
    }
    return _mm_load_si128(reinterpret_cast<const __m128i*>(mask));
}

struct InterleaveMasks {
    __m128i m[3][3];  // [output part][channel]
};

__attribute__((target("ssse3"))) InterleaveMasks MakeInterleaveMasks() {
    InterleaveMasks masks;
    for (int part = 0; part < 3; ++part) {
        for (int channel = 0; channel < 3; ++channel) {
            masks.m[part][channel] = InterleaveMask(part, channel);
        }
    }
    return masks;
}

__attribute__((target("ssse3"))) inline void StoreInterleaved(const InterleaveMasks& masks,
                                                              __m128i blue, __m128i green,
                                                              __m128i red,
                                                              std::uint8_t* destination) {
    for (int part = 0; part < 3; ++part) {
        const __m128i bytes = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(blue, masks.m[part][0]),
                                                        _mm_shuffle_epi8(green, masks.m[part][1])),
                                           _mm_shuffle_epi8(red, masks.m[part][2]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + 16 * part), bytes);
    }
}

// The byte rule: clamping to [0, 255] before truncation gives 0 for everything below 1 (so
// for everything below 0.4) and 255 for everything above 255.
__attribute__((target("ssse3"))) inline __m128i ToInt4(__m128 value) {
    const __m128 clamped = _mm_min_ps(_mm_max_ps(value, _mm_setzero_ps()), _mm_set1_ps(255.0f));
    return _mm_cvttps_epi32(clamped);
}

struct Channels4 {
    __m128i blue;
    __m128i green;
    __m128i red;
};

// Four pixels from their luma, u and v as 32-bit integers.
__attribute__((target("ssse3"))) inline Channels4 Compute4(__m128i luma, __m128i u, __m128i v) {
    const __m128 y = _mm_mul_ps(_mm_set1_ps(kLumaScale),
                                _mm_cvtepi32_ps(_mm_sub_epi32(luma, _mm_set1_epi32(16))));
    const __m128 uf = _mm_cvtepi32_ps(_mm_sub_epi32(u, _mm_set1_epi32(128)));
    const __m128 vf = _mm_cvtepi32_ps(_mm_sub_epi32(v, _mm_set1_epi32(128)));
    const __m128 blue = _mm_add_ps(y, _mm_mul_ps(_mm_set1_ps(kBlueFromU), uf));
    const __m128 green = _mm_sub_ps(_mm_sub_ps(y, _mm_mul_ps(_mm_set1_ps(kGreenFromV), vf)),
                                    _mm_mul_ps(_mm_set1_ps(kGreenFromU), uf));
    const __m128 red = _mm_add_ps(y, _mm_mul_ps(_mm_set1_ps(kRedFromV), vf));
    return {ToInt4(blue), ToInt4(green), ToInt4(red)};
}

// Byte k*4 .. k*4+3 of a 16-byte vector as four 32-bit integers.
__attribute__((target("ssse3"))) inline __m128i Widen4(__m128i bytes, int k) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i words = (k < 2) ? _mm_unpacklo_epi8(bytes, zero) : _mm_unpackhi_epi8(bytes, zero);
    return (k % 2 == 0) ? _mm_unpacklo_epi16(words, zero) : _mm_unpackhi_epi16(words, zero);
}

__attribute__((target("ssse3"))) inline __m128i Narrow16(const __m128i (&parts)[4]) {
    return _mm_packus_epi16(_mm_packs_epi32(parts[0], parts[1]),
                            _mm_packs_epi32(parts[2], parts[3]));
}

__attribute__((target("ssse3"))) void ConvertRowSsse3(const std::uint8_t* source, int width,
                                                      std::uint8_t* destination) {
    static const InterleaveMasks masks = MakeInterleaveMasks();
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const PixelBlock block = LoadBlock(source + 2 * x);
        __m128i blue[4], green[4], red[4];
        for (int k = 0; k < 4; ++k) {
            const Channels4 c =
                Compute4(Widen4(block.y, k), Widen4(block.u, k), Widen4(block.v, k));
            blue[k] = c.blue;
            green[k] = c.green;
            red[k] = c.red;
        }
        StoreInterleaved(masks, Narrow16(blue), Narrow16(green), Narrow16(red),
                         destination + 3 * x);
    }
    ConvertRowScalar(source + 2 * x, width - x, destination + 3 * x);
}

__attribute__((target("avx2"))) inline __m256i ToInt8(__m256 value) {
    const __m256 clamped =
        _mm256_min_ps(_mm256_max_ps(value, _mm256_setzero_ps()), _mm256_set1_ps(255.0f));
    return _mm256_cvttps_epi32(clamped);
}

// Eight pixels per vector; the same operations in the same order as the scalar rule.
__attribute__((target("avx2"))) inline void Compute8(__m128i lumaBytes, __m128i uBytes,
                                                     __m128i vBytes, __m256i* blue, __m256i* green,
                                                     __m256i* red) {
    const __m256 y = _mm256_mul_ps(_mm256_set1_ps(kLumaScale),
                                   _mm256_cvtepi32_ps(_mm256_sub_epi32(
                                       _mm256_cvtepu8_epi32(lumaBytes), _mm256_set1_epi32(16))));
    const __m256 u =
        _mm256_cvtepi32_ps(_mm256_sub_epi32(_mm256_cvtepu8_epi32(uBytes), _mm256_set1_epi32(128)));
    const __m256 v =
        _mm256_cvtepi32_ps(_mm256_sub_epi32(_mm256_cvtepu8_epi32(vBytes), _mm256_set1_epi32(128)));
    *blue = ToInt8(_mm256_add_ps(y, _mm256_mul_ps(_mm256_set1_ps(kBlueFromU), u)));
    *green = ToInt8(_mm256_sub_ps(_mm256_sub_ps(y, _mm256_mul_ps(_mm256_set1_ps(kGreenFromV), v)),
                                  _mm256_mul_ps(_mm256_set1_ps(kGreenFromU), u)));
    *red = ToInt8(_mm256_add_ps(y, _mm256_mul_ps(_mm256_set1_ps(kRedFromV), v)));
}

// Sixteen 32-bit values (pixels 0-7 and 8-15) to 16 bytes in pixel order.
__attribute__((target("avx2"))) inline __m128i Narrow16Avx2(__m256i first, __m256i second) {
    // The pack works per 128-bit lane; the permute puts the four quarters back in order.
    const __m256i words = _mm256_permute4x64_epi64(_mm256_packs_epi32(first, second), 0xD8);
    return _mm_packus_epi16(_mm256_castsi256_si128(words), _mm256_extracti128_si256(words, 1));
}

__attribute__((target("avx2"))) void ConvertRowAvx2(const std::uint8_t* source, int width,
                                                    std::uint8_t* destination) {
    static const InterleaveMasks masks = MakeInterleaveMasks();
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const PixelBlock block = LoadBlock(source + 2 * x);
        __m256i blue[2], green[2], red[2];
        Compute8(block.y, block.u, block.v, &blue[0], &green[0], &red[0]);
        Compute8(_mm_srli_si128(block.y, 8), _mm_srli_si128(block.u, 8), _mm_srli_si128(block.v, 8),
                 &blue[1], &green[1], &red[1]);
        StoreInterleaved(masks, Narrow16Avx2(blue[0], blue[1]), Narrow16Avx2(green[0], green[1]),
                         Narrow16Avx2(red[0], red[1]), destination + 3 * x);
    }
    ConvertRowScalar(source + 2 * x, width - x, destination + 3 * x);
}

#endif  // LUMISIGHT_X86

RowKernel KernelFor(Yuy2Kernel kernel) {
#if LUMISIGHT_X86
    switch (kernel) {
        case Yuy2Kernel::Avx2:
            return ConvertRowAvx2;
        case Yuy2Kernel::Ssse3:
            return ConvertRowSsse3;
        case Yuy2Kernel::Scalar:
            break;
    }
#else
    (void)kernel;
#endif
    return ConvertRowScalar;
}

Yuy2Kernel FastestKernel() {
    if (Yuy2KernelSupported(Yuy2Kernel::Avx2)) {
        return Yuy2Kernel::Avx2;
    }
    if (Yuy2KernelSupported(Yuy2Kernel::Ssse3)) {
        return Yuy2Kernel::Ssse3;
    }
    return Yuy2Kernel::Scalar;
}

}  // namespace

std::uint8_t Yuy2ChannelToByte(float value) {
    if (value < 0.4f) {
        return 0;
    }
    if (value > 255.0f) {
        return 255;
    }
    return static_cast<std::uint8_t>(value);
}

void ConvertYuy2Pair(const std::uint8_t* pair, std::uint8_t* bgr) {
    const float u = static_cast<float>(pair[1] - 128);
    const float v = static_cast<float>(pair[3] - 128);
    const float luma[2] = {kLumaScale * static_cast<float>(pair[0] - 16),
                           kLumaScale * static_cast<float>(pair[2] - 16)};
    for (int i = 0; i < 2; ++i) {
        const float y = luma[i];
        bgr[3 * i + 0] = Yuy2ChannelToByte(y + kBlueFromU * u);
        bgr[3 * i + 1] = Yuy2ChannelToByte(y - kGreenFromV * v - kGreenFromU * u);
        bgr[3 * i + 2] = Yuy2ChannelToByte(y + kRedFromV * v);
    }
}

bool Yuy2KernelSupported(Yuy2Kernel kernel) {
    switch (kernel) {
        case Yuy2Kernel::Scalar:
            return true;
#if LUMISIGHT_X86
        case Yuy2Kernel::Ssse3:
            return __builtin_cpu_supports("ssse3");
        case Yuy2Kernel::Avx2:
            return __builtin_cpu_supports("avx2");
#else
        default:
            return false;
#endif
    }
    return false;
}

void ConvertYuy2FrameWith(Yuy2Kernel kernel, const std::uint8_t* yuy2, int width, int height,
                          std::uint8_t* bgr) {
    const RowKernel convertRow = KernelFor(kernel);
    const std::size_t sourceRow = static_cast<std::size_t>(width) * 2;
    const std::size_t destinationRow = static_cast<std::size_t>(width) * 3;
    for (int y = 0; y < height; ++y) {
        // The camera's top row goes last: the working buffer is stored bottom-up.
        convertRow(yuy2 + y * sourceRow, width,
                   bgr + static_cast<std::size_t>(height - 1 - y) * destinationRow);
    }
}

void ConvertYuy2Frame(const std::uint8_t* yuy2, int width, int height, std::uint8_t* bgr) {
    static const Yuy2Kernel fastest = FastestKernel();
    ConvertYuy2FrameWith(fastest, yuy2, width, height, bgr);
}
