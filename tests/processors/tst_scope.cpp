#include "processors/scope/ScopeProcessor.h"

#include "InstrumentTesting.h"

#include <complex>
#include <numbers>
#include <random>

using namespace instrumentTesting;

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Bin k of the scope's 256, from 20 Hz to 20 kHz evenly spaced in log frequency.
const auto binHz = [](int k) { return 20.0 * std::pow(1000.0, k / 255.0); };

// One block of whatever length, in one call.
void feed(ScopeProcessor& scope, Samples samples)
{
    AudioContext context;
    context.frames = quint64(samples.size());
    context.data = samples.data();
    scope.process(context);
}

// The bank as one plain loop per sample over the bins, renormalising every 512 samples.
struct PlainBank {
    explicit PlainBank(const SpectrumAnalyser& like)
        : alpha(like.alpha().begin(), like.alpha().end())
        , s1(alpha.size())
        , s2(alpha.size())
        , p(alpha.size(), 1.0)
        , rotation(alpha.size())
    {
        for (std::size_t k = 0; k < alpha.size(); ++k)
            rotation[k] = std::polar(1.0, -kTwoPi * like.frequency()[k] / kRate);
    }

    void step(double x)
    {
        for (std::size_t k = 0; k < alpha.size(); ++k) {
            const double a = alpha[k], b = a / 2.0, ax = a * x;
            const double s1r = (1.0 - a) * s1[k].real() + ax * p[k].real();
            const double s1i = (1.0 - a) * s1[k].imag() + ax * p[k].imag();
            s1[k] = { s1r, s1i };
            s2[k] = { (1.0 - b) * s2[k].real() + b * s1r, (1.0 - b) * s2[k].imag() + b * s1i };
            const double pr = p[k].real(), pi = p[k].imag();
            p[k] = { pr * rotation[k].real() - pi * rotation[k].imag(),
                pr * rotation[k].imag() + pi * rotation[k].real() };
        }
        if (++count % 512 == 0) {
            for (auto& q : p)
                q /= std::sqrt(q.real() * q.real() + q.imag() * q.imag());
        }
    }

    std::vector<double> alpha;
    std::vector<std::complex<double>> s1, s2, p, rotation;
    int count = 0;
};

} // namespace

class ScopeTest : public QObject {
    Q_OBJECT

private slots:
    void binsFollowTheirDefinition_data();
    void binsFollowTheirDefinition();
    void snapshotsEvery64Samples_data();
    void snapshotsEvery64Samples();
    void everyKernelMatchesThePlainLoop_data();
    void everyKernelMatchesThePlainLoop();
    void nonFiniteInputIsForgotten_data();
    void nonFiniteInputIsForgotten();
};

// Fingerprints of the bins' powers, recorded from a model of the definition: bin k sits at
// 20 Hz to 20 kHz, evenly spaced in log frequency (or linearly); it turns the signal down
// with the phasor e^(-i 2 pi f n / rate) and smooths it twice, by alpha = 1 - exp(-f / (rate
// ln(f + 1))) and then alpha / 2, and its power is |second|^2. Long enough to cross several
// renormalisations of the phasors; however the input is cut, the powers are the same.
// A chunk of 0 steps sample by sample.
void ScopeTest::binsFollowTheirDefinition_data()
{
    const DataTable<int, bool, int, Samples> add("bins", "logarithmic", "chunk", "golden");
    const Samples scope { 8.3716953540022013e-07, 7.7584765338232305e-05 };
    add("scope, one run", 256, true, 1500, scope);
    add("scope, runs of 7", 256, true, 7, scope);
    add("scope, sample by sample", 256, true, 0, scope);
    add("7 linear bins", 7, false, 100, { 2.9911385429890212e-12, 7.4151131435720955e-07 });
    add("1 bin", 1, true, 64, { 1.4376124638428865e-14, 1.1990047805754932e-07 });
}

void ScopeTest::binsFollowTheirDefinition()
{
    const auto [bins, logarithmic, chunk, golden]
        = fetch<int, bool, int, Samples>("bins", "logarithmic", "chunk", "golden");
    Samples input(1500, 0.0);
    for (const double hz : { 100.0, 1000.0, 15000.0 })
        for (int n = 0; n < 1500; ++n)
            input[n] += 0.3 * std::sin(kTwoPi * hz * n / 44100.0);
    input[700] = 1.0;
    SpectrumAnalyser::Config config;
    config.bins = bins;
    config.logarithmic = logarithmic;
    SpectrumAnalyser analyser(config);
    for (qsizetype at = 0; at < input.size(); at += std::max(chunk, 1)) {
        if (chunk == 0)
            analyser.step(input[at]);
        else
            analyser.run(input.constData() + at, quint64(std::min<qsizetype>(chunk, 1500 - at)));
    }
    Samples powers;
    for (int k = 0; k < bins; ++k)
        powers.append(analyser.power(k));
    COMPARE_FINGERPRINT(powers, golden);
}

// The node keeps a copy of the last block and, every 64 samples, copies each bin's power
// into the spectrum; its storage is made once.
void ScopeTest::snapshotsEvery64Samples_data()
{
    const DataTable<QList<int>, int> add("blocks", "snapshots");
    add("an empty block", { 0 }, 0);
    add("one short of 64", { 63 }, 0);
    add("64 in two blocks", { 63, 1 }, 1);
    add("257 in four blocks", { 100, 100, 0, 57 }, 4);
    add("long blocks", { 8192, 4096 }, 192);
}

void ScopeTest::snapshotsEvery64Samples()
{
    const auto [blocks, snapshots] = fetch<QList<int>, int>("blocks", "snapshots");
    ScopeProcessor scope(44100);
    const double* copy = scope.lastBlock().data();
    const double* spectrum = scope.spectrum().data();
    SpectrumAnalyser reference;
    Samples last;
    int fed = 0;
    for (int length : blocks) {
        last = sine(binHz(230), 0.5, length);
        feed(scope, last);
        reference.run(last.constData(), quint64(length));
        fed += length;
        if (fed % 64 == 0 && fed > 0)
            QCOMPARE(scope.spectrum()[230], reference.power(230));
    }
    QCOMPARE(scope.blockCount(), quint64(blocks.size()));
    QCOMPARE(scope.snapshotCount(), quint64(snapshots));
    QCOMPARE(Samples(scope.lastBlock().begin(), scope.lastBlock().end()), last);
    QCOMPARE(scope.spectrum()[230] > 0.0, snapshots > 0);
    QCOMPARE(scope.lastBlock().data(), copy);
    QCOMPARE(scope.spectrum().data(), spectrum);
    QCOMPARE(scope.spectrum().size(), std::size_t(256));
}

// Noise in random runs through each kernel (at most the widest this machine has) and
// through a plain loop: every bin's power the same to the last bit after every run.
void ScopeTest::everyKernelMatchesThePlainLoop_data()
{
    using Kernel = SpectrumAnalyser::Kernel;
    const DataTable<Kernel, int, bool> add("kernel", "bins", "logarithmic");
    for (const auto& [name, kernel] : { std::pair { "SSE2", Kernel::Sse2 },
             std::pair { "AVX", Kernel::Avx }, std::pair { "AVX-512", Kernel::Avx512 } }) {
        add(qPrintable(QString("%1, the scope's 256").arg(name)), kernel, 256, true);
        add(qPrintable(QString("%1, 29 linear").arg(name)), kernel, 29, false);
        add(qPrintable(QString("%1, 3").arg(name)), kernel, 3, true);
    }
}

void ScopeTest::everyKernelMatchesThePlainLoop()
{
    const auto [kernel, bins, logarithmic]
        = fetch<SpectrumAnalyser::Kernel, int, bool>("kernel", "bins", "logarithmic");
    SpectrumAnalyser::Config config;
    config.bins = bins;
    config.logarithmic = logarithmic;
    SpectrumAnalyser analyser(config);
    analyser.useKernel(kernel);
    PlainBank plain(analyser);
    std::mt19937 random(bins);
    const Samples input = noise(6000, quint32(bins));
    for (qsizetype at = 0; at < input.size();) {
        const qsizetype n
            = std::min<qsizetype>(std::uniform_int_distribution(0, 700)(random), input.size() - at);
        analyser.run(input.constData() + at, quint64(n));
        for (qsizetype i = at; i < at + n; ++i)
            plain.step(input[i]);
        at += n;
        Samples powers, expected;
        for (int k = 0; k < bins; ++k) {
            const std::complex<double> s2 = plain.s2[k];
            powers.append(analyser.power(k));
            expected.append(s2.real() * s2.real() + s2.imag() * s2.imag());
        }
        COMPARE_BLOCKS(powers, expected, 0.0);
    }
}

// A non-finite sample would stay in the smoothers for good; the spectrum shows one empty
// snapshot instead, and the next ones are heard again.
void ScopeTest::nonFiniteInputIsForgotten_data()
{
    const DataTable<double> add("bad");
    add("NaN", kNaN);
    add("-inf", -kInf);
}

void ScopeTest::nonFiniteInputIsForgotten()
{
    QFETCH(double, bad);
    ScopeProcessor scope(44100);
    Samples block = sine(binHz(230), 0.5, 64);
    block[10] = bad;
    feed(scope, block);
    QCOMPARE(peak(Samples(scope.spectrum().begin(), scope.spectrum().end())), 0.0);
    feed(scope, sine(binHz(230), 0.5, 22050));
    QVERIFY(std::abs(scope.spectrum()[230] / 0.0625 - 1.0) < 0.01);
}

QTEST_GUILESS_MAIN(ScopeTest)
#include "tst_scope.moc"
