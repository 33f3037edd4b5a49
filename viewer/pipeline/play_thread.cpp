#include "viewer/pipeline/play_thread.h"

#include <pthread.h>

#include <cstdio>
#include <string>

#include "platform/time.h"
#include "viewer/pipeline/pipeline_model.h"
#include "viewer/pipeline/protected_section.h"
#include "viewer/player/player.h"
#include "viewer/protocol/exceptions.h"
#include "viewer/viewer_log.h"

namespace viewer {

TPlayThread::TPlayThread(std::unique_ptr<TPlayer> player) : player_(std::move(player)) {}

TPlayThread::~TPlayThread() {
  Terminate();
  WaitFor();
  WriteLog("play thread destroy-->");
  try {
    if (player_) {
      WriteLog("free player-->");
      player_.reset();
      WriteLog("free player<--");
    }
  } catch (const std::exception& e) {
    WriteLog(std::string("play thread free failed, e=") + e.what());
  }
}

int32_t TPlayThread::ChannelNo() {
  return Model != nullptr ? Model->ChannelNo() : -1;
}

bool TPlayThread::Running() {
  return !Terminated() && Model != nullptr && Model->Playing() && player_ && player_->Active;
}

void TPlayThread::Execute() {
  // Named so that profiles and the process's thread list tell the feeding stage apart.
  pthread_setname_np(pthread_self(), "view-play");
  try {
    PlayPackages();
  } catch (const ENoFileHeadReceived& e) {
    ReportFailure("CH:%d ERROR_NO_FILEHEAD_RECEIVED, Error is ", &e.Message());
  } catch (const EOpenStream& e) {
    ReportFailure("CH:%d ERROR_OPEN_STREAM, Error is ", &e.Message());
  } catch (const EPlay& e) {
    ReportFailure("CH:%d ERROR_PLAY_STREAM, Error is ", &e.Message());
  } catch (const EInputData& e) {
    ReportFailure("CH:%d ERROR_STREAM_INPUTDATA, Error is ", &e.Message());
  } catch (const EDecoderSDKError& e) {
    ReportFailure("CH:%d EDecoderSDKError, Error is ", &e.Message());
  } catch (const EViewerException& e) {
    ReportFailure("CH:%d ERROR_PLAY, Error is ", &e.Message());
  } catch (...) {
    ReportFailure("CH:%d ERROR_UNKNOWN! ", nullptr);
  }
  current_.reset();
  InternalStop();
}

void TPlayThread::PlayPackages() {
  int32_t head_misses = 0;  // only counts until the first stream head opened the player
  while (Running()) {
    Dequeue();
    if (!current_) {
      plat::Sleep(1);
      continue;
    }
    if (!player_->StreamOpened) {
      if (!player_->IsStreamHead(current_->FrameType)) {
        if (++head_misses >= kMaxHeadMisses) throw ENoFileHeadReceived();
        continue;
      }
      if (Terminated()) break;
      player_->BeginPlay(*current_);
      Model->MarkDataTime();
    }
    if (player_->StreamOpened) Feed();
    current_.reset();
  }
}

void TPlayThread::Dequeue() {
  current_.reset();
  if (ProtectedSection == nullptr) {
    const int32_t channel = ChannelNo();
    const uint32_t id = LogId(this);
    WriteLogF("CH%d Play Thread:%X DeQueue Failed! E=no shared state", channel, id);
    WriteLogF("CH%d Play Thread:%X fProtectedSection = nil", channel, id);
    throw EViewerException("no shared state");
  }
  current_ = ProtectedSection->BlockingQueue.Take();
}

void TPlayThread::Feed() {
  int32_t retries = 0;
  while (!Terminated() && Model->Playing()) {
    if (player_->InputPackage(*current_)) {
      Model->MarkDataTime();
      return;
    }
    if (!player_->Active) return;
    if (++retries > kMaxRetries) {
      WriteLogF("CH%d continue play failed, too many times!", ChannelNo());
      return;
    }
    WriteLog("continue play failed, try " + std::to_string(retries));
    plat::Sleep(1);
  }
}

void TPlayThread::ReportFailure(const char* format, const std::string* message) {
  try {
    if (player_) player_->PostStopPlayMessage();
  } catch (...) {
    // The failure is still logged and the player still stopped.
  }
  char text[96];
  std::snprintf(text, sizeof text, format, ChannelNo());
  WriteLog(message != nullptr ? text + *message : std::string(text));
}

void TPlayThread::InternalStop() {
  if (player_ && player_->StreamOpened.exchange(false)) {
    try {
      WriteLog("internal stop-->play stop-->");
      player_->StopPlay();
      WriteLog("internal stop-->play stop<--");
    } catch (const std::exception& e) {
      WriteLog(std::string("internal stop failed, e=") + e.what());
    } catch (...) {
      WriteLog("internal stop failed, e=unknown");
    }
  }
  if (Model != nullptr) Model->FirePlayEnd();
}

}  // namespace viewer
