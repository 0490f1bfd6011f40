// The control console (--control): the world around the module, driven line by line while a
// host program uses the serial ports. Each line (ended by LF; CR also ends one) is a script line
// of the kinds that act on the world: touch, move, drag, release, tap, panel, sd ..., wait,
// power-cycle, power-off, power-on, reset. The console answers "ok" once the line is done in
// virtual time (drag, tap and wait when their time has passed), or "error: TEXT".
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "sim/endpoint.h"
#include "sim/script_runner.h"
#include "sim/session.h"

namespace sim {

class ControlConsole {
  public:
    ControlConsole(Session& session, std::unique_ptr<Endpoint> endpoint);

    // Takes what has arrived, carries out the complete lines and answers each.
    void serve();
    // The console's input has ended (end of file on standard input).
    bool ended() const { return endpoint_->ended(); }

    // One line as the console carries it out: an empty string when done, else the error.
    std::string execute(std::string_view line);

  private:
    Session& session_;
    std::unique_ptr<Endpoint> endpoint_;
    ScriptRunner runner_;
    std::string pending_;
};

}  // namespace sim
