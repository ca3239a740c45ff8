// One run of tandravole-remote: the connection and login, printing in text or JSON, error
// reports with their exit codes, and the request patterns the command handlers share.
#pragma once

#include "client/Cli.h"
#include "client/RemoteClient.h"
#include "client/Value.h"

#include <functional>
#include <optional>
#include <ostream>
#include <vector>

namespace remote {

class CliSession {
public:
    CliSession(const CliOptions& options, std::ostream& out, std::ostream& err)
        : o_(options), out_(out), err_(err) {}

    // Connects (retrying briefly while an earlier session is still being closed) and logs in;
    // EXIT_OK or the code of what failed, reported on err.
    int open();

    const CliOptions& options() const { return o_; }
    RemoteClient& client() { return client_; }
    std::ostream& out() { return out_; }
    std::ostream& err() { return err_; }

    // Reports what failed while doing something and returns its exit code.
    int fail(ClientStatus status, const char* doing);
    // Reports a problem in the player's answer: "tandravole-remote: <text>", EXIT_FAILED.
    int failed(const char* text);
    // A result as JSON (one line) or as text, by --json.
    void print(const Value& value);

    // Sends QUERY_TRACK_TEXT, which the server always answers, and hands every message that
    // arrives before its answer to `collect`. Replies come in request order, so whatever an
    // earlier request produced has arrived by then.
    ClientStatus untilBarrier(const std::function<void(const wire::ReceivedMessage&)>& collect);

    // Waits for one reply of a type, or reports nothing when the barrier comes first.
    template <class M> ClientStatus replyOrNothing(std::optional<M>& reply) {
        return untilBarrier([&](const wire::ReceivedMessage& m) {
            if (auto decoded = decodeAs<M>(m))
                reply = std::move(decoded);
        });
    }

    // Sends a query and waits for its reply of type M (nothing when the server sends none).
    template <class M>
    std::optional<M> queryReply(uint8_t sub, uint32_t parameter, ClientStatus& status) {
        std::optional<M> reply;
        if (!client_.query(sub, parameter)) {
            status = ClientStatus::SendFailed;
            return reply;
        }
        status = replyOrNothing(reply);
        return reply;
    }

    // The player's status (MSG_QUERY 2).
    std::optional<wire::PlayerStatusMessage> playerStatus(ClientStatus& status) {
        return queryReply<wire::PlayerStatusMessage>(wire::QUERY_PLAYER_STATUS, 0, status);
    }

    // Sends a player command, then prints {"ok", "command"} and the player's status.
    int commandThenStatus(uint8_t code, uint32_t argument, const char* what);

    // Writes --output; false when the file cannot be written.
    bool writeFile(const std::vector<uint8_t>& bytes);

private:
    const CliOptions& o_;
    std::ostream& out_;
    std::ostream& err_;
    RemoteClient client_;
};

} // namespace remote
