// services_bench: the cost of raw value conversions of the common pairs and
// of one inline executor run per statement. Each figure is the median of
// five timed runs after a warm-up; each run checks its result.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "dataaccess/stan/qxZqStanAsync.h"
#include "dataaccess/stan/qxZqStanConvert.h"
#include "dataaccess/stan/qxZqStanInit.h"

namespace {

double MedianNs(int ARuns, int64_t AOps, const std::function<void()> &ABody)
{
    ABody(); // warm-up
    std::vector<double> T;
    for (int R = 0; R < ARuns; ++R) {
        auto T0 = std::chrono::steady_clock::now();
        ABody();
        auto T1 = std::chrono::steady_clock::now();
        T.push_back(std::chrono::duration<double, std::nano>(T1 - T0).count() / double(AOps));
    }
    std::sort(T.begin(), T.end());
    return T[T.size() / 2];
}

[[noreturn]] void Fail(const char *AWhat)
{
    std::fprintf(stderr, "wrong result: %s\n", AWhat);
    std::exit(1);
}

class TNoCursor : public TZqObject, public virtual IZqGUIxWaitCursor {
public:
    void StartWait() override {}
    void StopWait() override {}
};

class TCountOp : public TZqObject, public virtual IZqStanAsyncOperation {
public:
    void Execute() override { ++FCount; }
    void AbortJob() override {}
    bool AbortSupported() override { return false; }
    int64_t FCount = 0;
};

} // namespace

int main()
{
    // 10M conversions in all: 2.5M of each common pair.
    const int64_t N = 2500000;
    uint32_t Len = 0;

    double IntToDouble = MedianNs(5, N, [&] {
        double Sum = 0, Out = 0;
        for (int64_t I = 0; I < N; ++I) {
            int32_t V = int32_t(I);
            void *T = &Out;
            ZqConvertRawData(dtInt32, dtDouble, &V, 4, T, 8, Len);
            Sum += Out;
        }
        if (Sum != double(N) * double(N - 1) / 2) Fail("int32 to double");
    });
    double DoubleToInt = MedianNs(5, N, [&] {
        int64_t Sum = 0;
        int32_t Out = 0;
        for (int64_t I = 0; I < N; ++I) {
            double V = double(I) + 0.25;
            void *T = &Out;
            ZqConvertRawData(dtDouble, dtInt32, &V, 8, T, 4, Len);
            Sum += Out;
        }
        if (Sum != N * (N - 1) / 2) Fail("double to int32");
    });
    double IntToText = MedianNs(5, N, [&] {
        char Buf[32];
        int64_t Chars = 0;
        for (int64_t I = 0; I < N; ++I) {
            int32_t V = int32_t(I % 100000);
            void *T = Buf;
            ZqConvertRawData(dtInt32, dtAnsiString, &V, 4, T, 12, Len);
            Chars += Len;
        }
        if (Chars <= N) Fail("int32 to text");
    });
    double TextToInt = MedianNs(5, N, [&] {
        static const char *Texts[] = {"0", "42", "-17", "123456", "99999"};
        int64_t Sum = 0;
        int32_t Out = 0;
        for (int64_t I = 0; I < N; ++I) {
            const char *S = Texts[I % 5];
            void *T = &Out;
            ZqConvertRawData(dtAnsiString, dtInt32, const_cast<char *>(S), uint32_t(std::strlen(S)), T, 4, Len);
            Sum += Out;
        }
        if (Sum != (N / 5) * (0 + 42 - 17 + 123456 + 99999)) Fail("text to int32");
    });
    double DateToDateTime = MedianNs(5, N, [&] {
        double Out = 0, Last = 0;
        for (int64_t I = 0; I < N; ++I) {
            int32_t Day = 730000 + int32_t(I % 5000);
            void *T = &Out;
            ZqConvertRawData(dtDate, dtDateTime, &Day, 4, T, 8, Len);
            Last = Out;
        }
        if (Last != double(730000 + (N - 1) % 5000) * 86400000.0) Fail("date to date-time");
    });

    std::printf("conversion_int32_to_double: %.1f ns\n", IntToDouble);
    std::printf("conversion_double_to_int32: %.1f ns\n", DoubleToInt);
    std::printf("conversion_int32_to_text: %.1f ns\n", IntToText);
    std::printf("conversion_text_to_int32: %.1f ns\n", TextToInt);
    std::printf("conversion_date_to_datetime: %.1f ns\n", DateToDateTime);
    std::printf("conversion_mean_common_pairs: %.1f ns\n",
                (IntToDouble + DoubleToInt + IntToText + TextToInt + DateToDateTime) / 5);

    // One inline executor run per statement: obtain, set up and run.
    ZqStanInitialize();
    ZqRegisterSingleton<TNoCursor>(IID_IZqGUIxWaitCursor);
    TZqIntfPtr<TCountOp> Op(new TCountOp());
    TZqIntfPtr<IZqStanAsyncOperation> AsOp(Op.Get());
    const int64_t Runs = 200000;
    double PerRun = MedianNs(5, Runs, [&] {
        for (int64_t I = 0; I < Runs; ++I) {
            TZqIntfPtr<IZqStanAsyncExecutor> E;
            ZqCreateInterface(E);
            E->Setup(AsOp, amBlocking, CZqAsyncNoTimeout, nullptr);
            E->Run();
        }
    });
    if (Op->FCount != Runs * 6) Fail("executor runs");
    double Direct = MedianNs(5, Runs, [&] {
        for (int64_t I = 0; I < Runs; ++I)
            AsOp->Execute();
    });
    std::printf("executor_inline_run: %.1f ns\n", PerRun);
    std::printf("direct_execute_call: %.1f ns\n", Direct);
    std::printf("ratio direct_call_over_executor_run: %.4f\n", Direct / PerRun);
    return 0;
}
