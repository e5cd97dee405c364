#include "support/scripted_host.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace vrq::test {

void MessageScript::Script(std::initializer_list<link::MessageAnswer> answers) {
    answers_.insert(answers_.end(), answers.begin(), answers.end());
}

link::MessageAnswer MessageScript::Answer(const std::string& text, link::MessageButtons buttons,
                                          const std::string& title) {
    messages.push_back({text, buttons, title});
    if (onMessage) {
        onMessage(messages.back());
    }
    if (answers_.empty()) {
        ADD_FAILURE() << "unscripted message: " << text;
        std::fprintf(stderr, "unscripted message: %s\n", text.c_str());
        return buttons == link::MessageButtons::YesNo ? link::AnswerNo : link::AnswerCancel;
    }
    const auto answer = answers_.front();
    answers_.pop_front();
    return answer;
}

void ScriptedHost::BoardsFound() {
    ++boardsFoundCalls;
    if (onBoardsFound) {
        onBoardsFound();
    }
}

void ScriptedHost::EndProgram() {
    if (onEnd) {
        onEnd();
    }
    std::fprintf(stderr, "%s\n", kProgramEndedText);
    std::fflush(stderr);
    std::_Exit(kProgramEndedExit);
}

void ScriptedHost::HandlePendingEvents() {
    ++eventPasses;
    if (onEvents) {
        onEvents();
    }
}

}  // namespace vrq::test
