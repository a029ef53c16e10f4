// Times the token field's layout while a control of 1,000 tokens is resized
// one point at a time (every resize lays out again), against the floor: only
// measuring the same texts in the same fonts without the control's cache of
// text sizes, which a layout that measured afresh would spend at the least.
#include "views/RPTokenControl.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>

namespace {

constexpr int kTokens = 1000;
constexpr int kFromWidth = 300;
constexpr int kToWidth = 900;

RPTokenValue cloudOfTokens()
{
    QMap<QString, qint64> counts;
    for (int i = 0; i < kTokens; ++i) {
        counts.insert(QStringLiteral("keyword-%1").arg(i * 7919 % 100000), 1 + (i * 31) % 12);
    }
    return RPTokenValue::countedSet(counts);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);

    RPTokenControl control;
    control.resize(kFromWidth, 100000);
    control.show();
    control.setValue(cloudOfTokens());

    QElapsedTimer timer;
    timer.start();
    int layouts = 0;
    for (int width = kFromWidth; width <= kToWidth; ++width, ++layouts) {
        control.resize(width, 100000);
    }
    const double layoutMs = double(timer.nsecsElapsed()) / 1.0e6 / layouts;

    const QList<FramedToken> framed = control.framedTokens();
    timer.restart();
    double sink = 0.0;
    for (int round = 0; round < layouts; ++round) {
        for (const FramedToken& token : framed) {
            sink += FramedToken::defaultMeasure(token.text(), token.fontsize()).width();
        }
    }
    const double floorMs = double(timer.nsecsElapsed()) / 1.0e6 / layouts;

    std::printf("token field layout, %d tokens, %d resizes\n", kTokens, layouts);
    std::printf("  layout per resize:        %8.3f ms\n", layoutMs);
    std::printf("  measuring, uncached:      %8.3f ms\n", floorMs);
    std::printf("  ratio layout / floor:     %8.2f\n", floorMs > 0.0 ? layoutMs / floorMs : 0.0);
    std::printf("  (checksum %.0f, %lld tokens shown)\n", sink, static_cast<long long>(framed.size()));
    return 0;
}
