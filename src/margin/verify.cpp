#include "margin/verify.h"

#include "margin/margin_text.h"

namespace vrq::margin {

namespace {

constexpr double kDefaultLimitFactor = 3.0;

std::string Sci(double value) {
    return ScientificText(value, 1);
}

}  // namespace

double VerifySettings::LimitSeconds() const {
    return limitSeconds > 0
               ? limitSeconds
               : kDefaultLimitFactor * SecondsToShow(targetBer, confidence, characterRateMHz);
}

void VerifyRun::Start(const LinkState& state) {
    Expectation expected;
    expected.channel = settings_.channel;
    expected.gain = state.Gain(settings_.channel);
    expected.hysteresis = state.CurrentHysteresis();
    result_ = {};
    if (!meter_.Begin(expected)) {
        result_.outcome = VerifyResult::Outcome::NoAnswer;
    }
}

void VerifyRun::Update() {
    result_.tally = meter_.Totals();
    result_.figure = WorstFigure(result_.tally, settings_.characterRateMHz, settings_.confidence);
}

std::optional<board::Clock::TimePoint> VerifyRun::Advance() {
    const double limit = settings_.LimitSeconds();
    while (result_.outcome == VerifyResult::Outcome::Running) {
        const board::Clock::TimePoint due = meter_.NextPoll(limit);
        if (clock_.Now() < due) {
            return due;
        }
        if (!meter_.PollNow()) {
            result_.outcome = VerifyResult::Outcome::NoAnswer;
            break;
        }
        Update();
        if (const auto& span = meter_.LastSpan();
            span && span->why && *span->why != Uncounted::Lost) {
            result_.outcome = VerifyResult::Outcome::Disturbed;
            result_.why = span->why;
            break;
        }
        if (result_.figure && result_.figure->upper <= settings_.targetBer * (1.0 + 1e-9)) {
            result_.outcome = VerifyResult::Outcome::Pass;
            break;
        }
        // The errors so far need more time than is left to show the target: it cannot pass.
        const std::uint64_t most = result_.tally.MostErrors();
        const double needed = PoissonUpper(most, settings_.confidence) /
                              (settings_.targetBer * LinkBitsPerSecond(settings_.characterRateMHz));
        if (result_.tally.AnyAtLeast() || needed > limit || result_.tally.seconds >= limit) {
            result_.outcome = VerifyResult::Outcome::Fail;
            break;
        }
    }
    return std::nullopt;
}

void VerifyRun::Cancel() {
    if (result_.outcome == VerifyResult::Outcome::Running) {
        result_.outcome = VerifyResult::Outcome::Cancelled;
    }
}

void VerifyRun::OnReading(const CounterReading& reading) {
    if (!Over()) {
        meter_.OnReading(reading);
    }
}

void VerifyRun::OnWrite(const LinkWrite& write) {
    if (!Over()) {
        meter_.OnWrite(write);
    }
}

std::string VerifyText(const VerifyResult& result, const VerifySettings& settings) {
    std::string text;
    switch (result.outcome) {
        case VerifyResult::Outcome::Pass:
            text = "PASS: ";
            break;
        case VerifyResult::Outcome::Fail:
            text = "FAIL: ";
            break;
        case VerifyResult::Outcome::Disturbed:
            text = "NOT VERIFIED (" + UncountedText(*result.why) + "): ";
            break;
        case VerifyResult::Outcome::Cancelled:
            text = "NOT VERIFIED (interrupted): ";
            break;
        case VerifyResult::Outcome::NoAnswer:
        case VerifyResult::Outcome::Running:
            text = "NOT VERIFIED: ";
            break;
    }
    return text + BerText(result.figure) + " after " + DurationText(result.tally.seconds) +
           " counted (target " + Sci(settings.targetBer) + " at " +
           std::to_string(static_cast<int>(settings.confidence * 100.0 + 0.5)) + "%, limit " +
           DurationText(settings.LimitSeconds()) + ")" + UncountedText(result.tally);
}

std::string VerifyJson(const VerifyResult& result, const VerifySettings& settings) {
    static constexpr const char* kOutcomes[] = {"running",   "pass",      "fail",
                                                "disturbed", "cancelled", "no-answer"};
    std::string json =
        std::string("{\"format\":\"vrq66208a-verify\",\"version\":1,\"channel\":\"") +
        device::ChannelLetter(settings.channel) + "\",\"outcome\":\"" +
        kOutcomes[static_cast<int>(result.outcome)] +
        "\",\"targetBer\":" + ScientificText(settings.targetBer, 6) +
        ",\"confidence\":" + GeneralText(settings.confidence, 6) +
        ",\"characterRateMHz\":" + GeneralText(settings.characterRateMHz, 6) +
        ",\"limitSeconds\":" + FixedText(settings.LimitSeconds(), 6) +
        ",\"seconds\":" + FixedText(result.tally.seconds, 6) + ",\"errors\":[";
    for (std::size_t link = 0; link < result.tally.links.size(); ++link) {
        json += (link > 0 ? "," : "") + std::to_string(result.tally.links[link].errors);
    }
    json += "],\"upperBound\":";
    json += result.figure && result.figure->kind != BerFigure::Kind::AtLeast
                ? ScientificText(result.figure->upper, 6)
                : std::string("null");
    return json + ",\"notCountedSeconds\":" + FixedText(result.tally.UncountedSeconds(), 6) + "}";
}

}  // namespace vrq::margin
