#include "tools/streamsim/client_session.h"

#include <algorithm>
#include <vector>

#include "common/viewer_utils.h"
#include "viewer/protocol/requests.h"
#include "viewer/protocol/wire_format.h"

namespace streamsim {

namespace wire = viewer::wire;

namespace {

struct TMessageHead {
  uint32_t Length = 0;
  uint32_t Code = 0;
};

TMessageHead ParseHead(const uint8_t (&bytes)[wire::kMessageHeadSize]) {
  return {ReadUInt32(bytes + wire::kLengthOffset, true),
          ReadUInt32(bytes + wire::kCodeOffset, true)};
}

std::string Why(TConnection::EIo io) {
  return io == TConnection::EIo::Stopped ? "server stopped" : "client closed";
}

TPeer MakePeer(uint64_t conn, const TConnection& connection) {
  return {conn, connection.PeerAddress(), connection.PeerPort()};
}

void LogConnect(TEventLog& log, const TPeer& peer, const char* listener) {
  log.Write(TLogLine("connect")
                .Add("conn", peer.Conn)
                .Add("peer", peer.Address + ":" + std::to_string(peer.Port))
                .Add("listener", listener));
}

void LogDisconnect(TEventLog& log, const TPeer& peer, const std::string& reason) {
  log.Write(TLogLine("disconnect").Add("conn", peer.Conn).Add("reason", reason));
}

void LogBadMessage(TEventLog& log, const char* event, const TPeer& peer, const TMessageHead& head) {
  log.Write(TLogLine(event)
                .Add("conn", peer.Conn)
                .Add("peer", peer.Address + ":" + std::to_string(peer.Port))
                .Add("length", head.Length)
                .AddCode("code", head.Code));
}

}  // namespace

void ServeClient(int fd, uint64_t conn, const TSessionContext& context) {
  TConnection connection(fd, context.Stop);
  const TPeer peer = MakePeer(conn, connection);
  LogConnect(context.Log, peer, "stream");
  if (const int32_t rate = context.Stream.Faults.TrickleBytesPerSecond; rate > 0) {
    connection.SetTrickle(rate);
    context.Log.Write(TLogLine("fault")
                          .Add("conn", peer.Conn)
                          .Add("fault", "trickle")
                          .Add("bytes_per_second", rate));
  }
  std::string reason;
  std::vector<uint8_t> message;
  while (reason.empty()) {
    uint8_t head_bytes[wire::kMessageHeadSize];
    TConnection::EIo io = connection.Read(head_bytes, sizeof head_bytes);
    if (io != TConnection::EIo::Ok) {
      reason = Why(io);
      break;
    }
    const TMessageHead head = ParseHead(head_bytes);
    if (head.Length < wire::kMessageHeadSize ||
        head.Length > TRequestResponder::kMaxRequestLength) {
      LogBadMessage(context.Log, "bad_request", peer, head);
      reason = "bad request length";
      break;
    }
    message.assign(head_bytes, head_bytes + sizeof head_bytes);
    message.resize(head.Length);
    io = connection.Read(message.data() + wire::kMessageHeadSize,
                         head.Length - wire::kMessageHeadSize);
    if (io != TConnection::EIo::Ok) {
      reason = Why(io);
      break;
    }
    TRequestOutcome outcome = context.Responder.Handle(message.data(), message.size(), peer);
    context.Log.Write(outcome.Line);
    if (!outcome.Answer.empty()) {
      io = connection.Send(outcome.Answer.data(), outcome.Answer.size());
      if (io != TConnection::EIo::Ok) {
        reason = Why(io);
        break;
      }
    }
    if (outcome.Next == TRequestOutcome::ENext::Close) {
      reason = "open live refused";
    } else if (outcome.Next == TRequestOutcome::ENext::Stream) {
      TStreamSession session(connection, context.Log, peer, context.Stream);
      try {
        session.Run(context.Sources.Open(outcome.Channel), outcome.Channel);
        reason = "stream ended";
      } catch (const std::exception& e) {
        reason = std::string("stream could not start: ") + e.what();
      }
    }
  }
  LogDisconnect(context.Log, peer, reason);
}

void ServePtzProxyClient(int fd, uint64_t conn, const TSessionContext& context) {
  TConnection connection(fd, context.Stop);
  const TPeer peer = MakePeer(conn, connection);
  LogConnect(context.Log, peer, "ptz_proxy");
  const size_t size = viewer::RequestSize<viewer::TPtzRequest>();
  std::string reason;
  std::vector<uint8_t> message(size);
  while (reason.empty()) {
    TConnection::EIo io = connection.Read(message.data(), wire::kMessageHeadSize);
    if (io != TConnection::EIo::Ok) {
      reason = Why(io);
      break;
    }
    uint8_t head_bytes[wire::kMessageHeadSize];
    std::copy_n(message.begin(), wire::kMessageHeadSize, head_bytes);
    const TMessageHead head = ParseHead(head_bytes);
    if (head.Length != size || head.Code != wire::kPtzRequest) {
      LogBadMessage(context.Log, "ptz_proxy_bad_request", peer, head);
      reason = "bad request";
      break;
    }
    io = connection.Read(message.data() + wire::kMessageHeadSize, size - wire::kMessageHeadSize);
    if (io != TConnection::EIo::Ok) {
      reason = Why(io);
      break;
    }
    viewer::TPtzRequest request;
    viewer::TRequestHead request_head;
    if (!viewer::DecodeRequest(message.data(), size, request, &request_head)) {
      LogBadMessage(context.Log, "ptz_proxy_bad_request", peer, head);
      reason = "bad request";
      break;
    }
    TLogLine line = RequestLine("ptz_proxy_request", peer, head.Code, size);
    AddRequestHead(line, request_head);
    line.Add("token", request.Token)
        .AddRaw("dvrid", request.DVRID)
        .Add("channel", request.ChannelNo)
        .Add("command", request.Command)
        .Add("value", request.Enabled);
    context.Log.Write(line);
  }
  LogDisconnect(context.Log, peer, reason);
}

}  // namespace streamsim
