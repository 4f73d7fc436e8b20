// Single-block AES-128 encryption throughput through SAesEncoder::EncryptBlock, each block the
// output of the one before (as CBC chains them), for the table-driven path and the AES-NI
// path. Figures in MB/s of 10^6 bytes per CPU second, as openssl speed counts them.
#include "bench/BenchClock.h"
#include "library/crypto/SCpuFeatures.h"
#include "library/crypto/SAesEncoder.h"

#include <cstdio>

namespace
{

[[gnu::noinline]] double Measure(const S::SAesBaseEncoder& encoder)
{
    uint8_t block[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    S::SResult result;
    return bench::MegabytesPerCpuSecond(
        [&]
        {
            constexpr size_t blocks = 4096;
            for (size_t i = 0; i < blocks; ++i)
                encoder.EncryptBlock(result, sizeof block, block, block);
            return blocks * sizeof block;
        });
}

} // namespace

int main()
{
    const uint8_t key[16] = {0x2b, 0x7e, 0x15, 0x16, 0x28, 0xae, 0xd2, 0xa6,
                             0xab, 0xf7, 0x15, 0x88, 0x09, 0xcf, 0x4f, 0x3c};
    S::SResult result;
    S::SAesEncoder software;
    software.SetKey(result, key, sizeof key, S::SAesEncoder::Engine::Software);
    std::printf("aes-128 library software, 16-byte blocks: %.1f MB/s\n", Measure(software));
    if (!S::CpuCanUseAesNi())
    {
        std::printf("aes-128 library AES-NI: not offered by this processor\n");
        return 0;
    }
    S::SAesEncoder hardware;
    hardware.SetKey(result, key, sizeof key, S::SAesEncoder::Engine::AesNi);
    std::printf("aes-128 library AES-NI, 16-byte blocks: %.1f MB/s\n", Measure(hardware));
    return 0;
}
