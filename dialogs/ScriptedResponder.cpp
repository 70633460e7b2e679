#include "dialogs/ScriptedResponder.h"

namespace hv {

ScriptedResponder::ScriptedResponder() {
    previous_ = InstallMessageHandler(this);
}

ScriptedResponder::~ScriptedResponder() {
    InstallMessageHandler(previous_);
}

void ScriptedResponder::Answer(int result) {
    answers_.push_back({result, Symbolic::None});
}
void ScriptedResponder::AnswerYes() {
    answers_.push_back({0, Symbolic::Yes});
}
void ScriptedResponder::AnswerNo() {
    answers_.push_back({0, Symbolic::No});
}

int ScriptedResponder::Ask(const MessageRequest& request) {
    Record rec;
    rec.request = request;
    rec.result = request.NoAnswerResult();
    if (request.IsQuestion() && !answers_.empty()) {
        Queued q = answers_.front();
        answers_.pop_front();
        switch (q.symbolic) {
            case Symbolic::Yes:
                rec.result = request.platformBox ? kIdYes : 1;
                break;
            case Symbolic::No:
                rec.result = request.platformBox ? kIdNo : 2;
                break;
            case Symbolic::None:
                rec.result = q.result;
                break;
        }
        rec.answered = true;
    }
    records_.push_back(rec);
    return rec.result;
}

std::vector<std::string> ScriptedResponder::Functions() const {
    std::vector<std::string> out;
    for (const Record& r : records_) out.push_back(r.request.function);
    return out;
}

std::vector<MessageRequest> ScriptedResponder::RequestsOf(const std::string& function) const {
    std::vector<MessageRequest> out;
    for (const Record& r : records_)
        if (r.request.function == function) out.push_back(r.request);
    return out;
}

void ScriptedResponder::Clear() {
    records_.clear();
    answers_.clear();
}

}  // namespace hv
