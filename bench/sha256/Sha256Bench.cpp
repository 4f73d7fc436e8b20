// SHA-256 throughput on 64 KiB buffers: each engine of the library, and the system's own
// BCryptHash for comparison. Figures in MB/s of 10^6 bytes per CPU second, as openssl speed
// counts them.
#include "bench/BenchClock.h"
#include "library/crypto/Sha256.h"

#include <windows.h>

#include <bcrypt.h>

#include <cstdio>
#include <random>
#include <vector>

namespace
{

constexpr size_t BufferSize = 64 * 1024;

template <typename HashOnce> double Measure(HashOnce hashOnce)
{
    return bench::MegabytesPerCpuSecond(
        [&]
        {
            hashOnce();
            return BufferSize;
        });
}

} // namespace

int main()
{
    std::vector<uint8_t> buffer(BufferSize);
    std::mt19937 generator(1);
    for (auto& b : buffer)
        b = static_cast<uint8_t>(generator());
    uint8_t digest[S::Sha256DigestSize];

    const auto hashWithLibrary = [&] { S::Sha256(buffer.data(), buffer.size(), digest); };
    if (S::Sha256UseEngine(S::SSha256Engine::Portable))
        std::printf("sha256 library portable, 64 KiB buffers: %.1f MB/s\n", Measure(hashWithLibrary));
    if (S::Sha256UseEngine(S::SSha256Engine::ShaNi))
        std::printf("sha256 library SHA-NI, 64 KiB buffers: %.1f MB/s\n", Measure(hashWithLibrary));
    else
        std::printf("sha256 library SHA-NI: not offered by this processor\n");

    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0)
    {
        std::printf("sha256 BCryptHash: no SHA-256 provider\n");
        return 0;
    }
    uint8_t systemDigest[S::Sha256DigestSize];
    const auto hashWithSystem = [&]
    {
        BCryptHash(algorithm, nullptr, 0, buffer.data(), static_cast<ULONG>(buffer.size()), systemDigest,
                   sizeof systemDigest);
    };
    std::printf("sha256 BCryptHash (system), 64 KiB buffers: %.1f MB/s\n", Measure(hashWithSystem));
    BCryptCloseAlgorithmProvider(algorithm, 0);
    return 0;
}
