// Text subsystem speed: searches and replacements over growing inputs (time must grow
// linearly), and each codec against the raw library call it wraps, in the same run.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <unicode/ucnv.h>

#include <memory>
#include <string>

#include "text/base64.h"
#include "text/codepage.h"
#include "text/digest.h"
#include "text/primitives.h"

namespace {

// `size` bytes of mixed GBK and ASCII text with CR LF line breaks.
Text MixedGbk(size_t size) {
    const Text line = Utf8ToGbk(
        "网站原创文章 generation test, 第二段：中文和ASCII混合 \\ 反斜杠 (Mixed) 全角１２３\r\n");
    Text text;
    text.reserve(size + line.size());
    while (text.size() < size) text += line;
    text.resize(size);
    return text;
}

const Text& Input(size_t size) {
    static Text small = MixedGbk(1 << 20);
    static Text large = MixedGbk(10 << 20);
    return size == (1u << 20) ? small : large;
}

void BM_ReplaceLineBreaks(benchmark::State& state) {
    const Text& text = Input(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(ReplaceText(text, "\r\n", "\\n"));
    state.SetBytesProcessed(state.iterations() * text.size());
}
BENCHMARK(BM_ReplaceLineBreaks)->Arg(1 << 20)->Arg(10 << 20)->Unit(benchmark::kMillisecond);

void BM_FindTextAbsent(benchmark::State& state) {
    const Text& text = Input(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(FindText(text, "absent part"));
    state.SetBytesProcessed(state.iterations() * text.size());
}
BENCHMARK(BM_FindTextAbsent)->Arg(1 << 20)->Arg(10 << 20)->Unit(benchmark::kMillisecond);

void BM_FindTextIgnoreCase(benchmark::State& state) {
    const Text& text = Input(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(FindText(text, "ABSENT PART", 1, true));
    state.SetBytesProcessed(state.iterations() * text.size());
}
BENCHMARK(BM_FindTextIgnoreCase)->Arg(1 << 20)->Arg(10 << 20)->Unit(benchmark::kMillisecond);

void BM_SplitLines(benchmark::State& state) {
    const Text& text = Input(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(SplitText(text, "\r\n"));
    state.SetBytesProcessed(state.iterations() * text.size());
}
BENCHMARK(BM_SplitLines)->Arg(1 << 20)->Arg(10 << 20)->Unit(benchmark::kMillisecond);

struct ConverterCloser {
    void operator()(UConverter* c) const { ucnv_close(c); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

ConverterPtr Open(const char* name) {
    UErrorCode status = U_ZERO_ERROR;
    return ConverterPtr(ucnv_open(name, &status));
}

// The baseline: one ucnv_convertEx call into an output allocated for the call.
std::string RawConvert(UConverter* to, UConverter* from, const std::string& in, size_t room) {
    std::string out(room, '\0');
    char* target = out.data();
    const char* source = in.data();
    UErrorCode status = U_ZERO_ERROR;
    ucnv_convertEx(to, from, &target, out.data() + out.size(), &source, in.data() + in.size(),
                   nullptr, nullptr, nullptr, nullptr, true, true, &status);
    out.resize(target - out.data());
    return out;
}

void BM_GbkToUtf8(benchmark::State& state) {
    const Text& text = Input(1 << 20);
    for (auto _ : state) benchmark::DoNotOptimize(GbkToUtf8(text));
    state.SetBytesProcessed(state.iterations() * text.size());
}
BENCHMARK(BM_GbkToUtf8)->Unit(benchmark::kMillisecond);

void BM_GbkToUtf8_RawIcu(benchmark::State& state) {
    const Text& text = Input(1 << 20);
    ConverterPtr gbk = Open("GBK"), utf8 = Open("UTF-8");
    for (auto _ : state)
        benchmark::DoNotOptimize(RawConvert(utf8.get(), gbk.get(), text, text.size() * 3 / 2));
    state.SetBytesProcessed(state.iterations() * text.size());
}
BENCHMARK(BM_GbkToUtf8_RawIcu)->Unit(benchmark::kMillisecond);

void BM_Utf8ToGbk(benchmark::State& state) {
    const Text utf8 = GbkToUtf8(Input(1 << 20));
    for (auto _ : state) benchmark::DoNotOptimize(Utf8ToGbk(utf8));
    state.SetBytesProcessed(state.iterations() * utf8.size());
}
BENCHMARK(BM_Utf8ToGbk)->Unit(benchmark::kMillisecond);

void BM_Utf8ToGbk_RawIcu(benchmark::State& state) {
    const Text utf8 = GbkToUtf8(Input(1 << 20));
    ConverterPtr gbk = Open("GBK"), u8 = Open("UTF-8");
    for (auto _ : state)
        benchmark::DoNotOptimize(RawConvert(gbk.get(), u8.get(), utf8, utf8.size()));
    state.SetBytesProcessed(state.iterations() * utf8.size());
}
BENCHMARK(BM_Utf8ToGbk_RawIcu)->Unit(benchmark::kMillisecond);

// 1 MiB, already a whole number of three-byte groups, so that every call encodes the same
// bytes; both sides allocate their output per call.
Bytes Megabyte() {
    Bytes data(1 << 20);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 131 + 7);
    data.resize(data.size() + 2, 0);
    return data;
}

void BM_Base64Encode(benchmark::State& state) {
    Bytes data = Megabyte();
    for (auto _ : state) benchmark::DoNotOptimize(Base64Encode(data));
    state.SetBytesProcessed(state.iterations() * data.size());
}
BENCHMARK(BM_Base64Encode)->Unit(benchmark::kMicrosecond);

void BM_Base64_EvpEncodeBlock(benchmark::State& state) {
    const Bytes data = Megabyte();
    for (auto _ : state) {
        std::string out(data.size() / 3 * 4 + 1, '\0');
        int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), data.data(),
                                static_cast<int>(data.size()));
        out.resize(n);
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(state.iterations() * data.size());
}
BENCHMARK(BM_Base64_EvpEncodeBlock)->Unit(benchmark::kMicrosecond);

void BM_Md5Hex(benchmark::State& state) {
    const Bytes data = Megabyte();
    for (auto _ : state) benchmark::DoNotOptimize(Md5Hex(data));
    state.SetBytesProcessed(state.iterations() * data.size());
}
BENCHMARK(BM_Md5Hex)->Unit(benchmark::kMicrosecond);

void BM_Md5_EvpDigest(benchmark::State& state) {
    const Bytes data = Megabyte();
    for (auto _ : state) {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int size = 0;
        EVP_Digest(data.data(), data.size(), digest, &size, EVP_md5(), nullptr);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(state.iterations() * data.size());
}
BENCHMARK(BM_Md5_EvpDigest)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
