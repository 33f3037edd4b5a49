#include "viewer/protocol/exceptions.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "viewer/pipeline/queue_exception.h"

namespace viewer {
namespace {

// Handlers catch by class: the two read failures as ENetwork, everything as the family's base.
TEST(ExceptionFamily, MessagesAndTheClassesHandlersCatchThemBy) {
  struct Case {
    std::function<void()> raise;
    const char* message;
    bool network;  // caught by an ENetwork handler
  };
  const Case cases[] = {
      {[] { throw EReadPackageHead("socket closed"); }, "socket closed", true},
      {[] { throw EReadPackage("recv timeout"); }, "recv timeout", true},
      {[] { throw EInvalidPackageLength("receivedPackLen < 0"); }, "receivedPackLen < 0", false},
      {[] { throw EInvalidReturnStatusCommand(); }, "not preview connect resp", false},
      {[] { throw EHaveNoRight(); }, "no right", false},
      {[] { throw ETokenInvalid(); }, "invalid token", false},
      {[] { throw EMalformedProtocol(); }, "malformed protocol", false},
      {[] { throw ETimeout(); }, "timeout", false},
      {[] { throw EFileNotFound(); }, "file not found", false},
      {[] { throw EUnknown::ForStatus(-999); }, "unknown error", false},
      {[] { throw EUnknown::ForStatus(-7); }, "unknown status -7", false},
      {[] { throw EUnknown::ForStatus(2147483647); }, "unknown status 2147483647", false},
      {[] { throw EInvalidPlayFileHead(); }, "not file head resp", false},
      {[] { throw EInvalidPlayPackage::ForCode(0xCAFE0001); }, "not preview frame resp:0xCAFE0001",
       false},
      {[] { throw EInvalidPlayPackage::ForCode(0x50101); }, "not preview frame resp:0x50101",
       false},
      {[] { throw ENoFileHeadReceived(); }, "not recv sys header", false},
      {[] { throw EOpenStream(); }, "", false},
      {[] { throw EPlay(); }, "", false},
      {[] { throw EInputData("bad input"); }, "bad input", false},
      {[] { throw EDecoderSDKError("decoder"); }, "decoder", false},
      {[] { throw EPTZControlCommand::InvalidCommand(-1); }, "invalid ptz cmd, cmd=0xFFFFFFFF",
       false},
      {[] { throw EPTZControlCommand::InvalidCommand(5); }, "invalid ptz cmd, cmd=0x05", false},
      {[] { throw EPTZControlCommand::InvalidCommand(0x1AB); }, "invalid ptz cmd, cmd=0x1AB",
       false},
      {[] { throw EPTZControlCommand::InvalidEnabled(-3); }, "invalid ptz enabled, enabled=-3",
       false},
      {[] { throw QueueException("ObjectQueue Insert Error,Buffer Closed"); },
       "ObjectQueue Insert Error,Buffer Closed", false},
      {[] { throw EPmSocketClosedException("socket closed"); }, "socket closed", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    bool network = false;
    std::string message = "(not raised)";
    try {
      try {
        c.raise();
      } catch (const ENetwork& e) {
        network = true;
        throw;
      }
    } catch (const EViewerException& e) {
      message = e.Message();
      EXPECT_STREQ(e.what(), c.message);
    }
    EXPECT_EQ(message, c.message);
    EXPECT_EQ(network, c.network);
  }
}

}  // namespace
}  // namespace viewer
