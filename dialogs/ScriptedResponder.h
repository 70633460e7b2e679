// A message handler for tests: answers queued by the test, every request
// recorded. Installs itself for its lifetime and puts the previous handler
// back when destroyed.
//
// Only questions (requests with more than one possible answer) take answers
// from the queue; plain messages are recorded and closed as if nobody had
// answered (Ok for the standard button). A question with no queued answer
// gets the same: MessageRequest::NoAnswerResult.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "dialogs/Messages.h"

namespace hv {

class ScriptedResponder : public MessageHandler {
  public:
    struct Record {
        MessageRequest request;
        int result = 0;
        bool answered = false;  // false: nobody answered, NoAnswerResult was given
    };

    ScriptedResponder();
    ~ScriptedResponder() override;
    ScriptedResponder(const ScriptedResponder&) = delete;
    ScriptedResponder& operator=(const ScriptedResponder&) = delete;

    // Queues the result of the next question (1 Ok/Yes, 2 Cancel/No, k-th caller
    // button, or a kId* code for a platform box).
    void Answer(int result);
    // Queues "yes" for the next question (1, or kIdYes for a platform box).
    void AnswerYes();
    void AnswerNo();
    // Answers not taken yet.
    size_t Pending() const { return answers_.size(); }

    int Ask(const MessageRequest& request) override;

    const std::vector<Record>& Records() const { return records_; }
    // Functions of the recorded requests in order ("ShowError", ...).
    std::vector<std::string> Functions() const;
    // Recorded requests of one function.
    std::vector<MessageRequest> RequestsOf(const std::string& function) const;
    void Clear();

  private:
    enum class Symbolic { None, Yes, No };
    struct Queued {
        int result;
        Symbolic symbolic;
    };

    std::deque<Queued> answers_;
    std::vector<Record> records_;
    MessageHandler* previous_ = nullptr;
};

}  // namespace hv
