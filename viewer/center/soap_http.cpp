#include "viewer/center/soap_http.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>

#include "viewer/center/center_errors.h"

namespace viewer {

namespace {

using TClock = std::chrono::steady_clock;

// Longest sleep between looks at the cancel flag.
constexpr int kPollSliceMs = 100;

void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// State of one transfer, shared with curl's callbacks.
struct TTransfer {
  TSoapReply Reply;
  bool Connected = false;
  bool TooLarge = false;
  curl_off_t Sent = 0;
  TClock::time_point LastActivity = TClock::now();

  void Touch() { LastActivity = TClock::now(); }
};

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<TTransfer*>(user);
  t->Reply.TakeHeaderLine(std::string_view(data, size * count));
  t->Touch();
  return size * count;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<TTransfer*>(user);
  const size_t n = size * count;
  if (t->Reply.Body.size() + n > kMaxSoapAnswerBytes) {
    t->TooLarge = true;
    return 0;
  }
  t->Reply.Body.append(data, n);
  t->Touch();
  return n;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t sent) {
  auto* t = static_cast<TTransfer*>(user);
  if (sent != t->Sent) {
    t->Sent = sent;
    t->Touch();
  }
  return 0;
}

// Called once the connection stands, before the request goes out.
int OnConnected(void* user, char*, char*, int, int) {
  auto* t = static_cast<TTransfer*>(user);
  t->Connected = true;
  t->Touch();
  return CURL_PREREQFUNC_OK;
}

struct TEasyDeleter {
  void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct TMultiDeleter {
  void operator()(CURLM* m) const { curl_multi_cleanup(m); }
};
struct TListDeleter {
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

}  // namespace

TSoapReply PostSoap(const std::string& url, const std::string& envelope, int32_t timeout_ms,
                    const std::atomic<bool>* cancel) {
  InitCurlOnce();
  const int32_t timeout = std::max<int32_t>(timeout_ms, 1);
  std::unique_ptr<CURL, TEasyDeleter> easy(curl_easy_init());
  std::unique_ptr<CURLM, TMultiDeleter> multi(curl_multi_init());
  if (!easy || !multi) throw ECenterCallError("cannot set up an HTTP call");

  std::unique_ptr<curl_slist, TListDeleter> headers;
  for (const char* h : {"Content-Type: text/xml; charset=utf-8", "SOAPAction: \"\"", "Expect:"}) {
    curl_slist* grown = curl_slist_append(headers.get(), h);
    if (!grown) throw ECenterCallError("cannot set up an HTTP call");
    headers.release();
    headers.reset(grown);
  }

  TTransfer t;
  char error[CURL_ERROR_SIZE] = {0};
  CURL* c = easy.get();
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http");
  curl_easy_setopt(c, CURLOPT_PROXY, "");  // the center is reached directly
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_POST, 1L);
  curl_easy_setopt(c, CURLOPT_POSTFIELDS, envelope.data());
  curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(envelope.size()));
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeout));
  // Connect, send and receive at most: a service that trickles bytes cannot hold the caller.
  curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, 3L * timeout);
  curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(c, CURLOPT_HEADERDATA, &t);
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &t);
  curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, OnProgress);
  curl_easy_setopt(c, CURLOPT_XFERINFODATA, &t);
  curl_easy_setopt(c, CURLOPT_PREREQFUNCTION, OnConnected);
  curl_easy_setopt(c, CURLOPT_PREREQDATA, &t);
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
  if (curl_multi_add_handle(multi.get(), c) != CURLM_OK) {
    throw ECenterCallError("cannot set up an HTTP call");
  }
  // Removed before the handles are freed, whichever way the call ends.
  struct TDetach {
    CURLM* m;
    CURL* e;
    ~TDetach() { curl_multi_remove_handle(m, e); }
  } detach{multi.get(), c};

  const auto idle_limit = std::chrono::milliseconds(timeout);
  while (true) {
    int running = 0;
    if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
      throw ECenterCallError("HTTP call to " + url + " failed");
    }
    if (running == 0) break;
    if (cancel && cancel->load()) throw ECenterCallError("cancelled");
    // Connecting has curl's own time-out; once connected, every wait for the next bytes has
    // the same limit.
    auto wait = std::chrono::milliseconds(kPollSliceMs);
    if (t.Connected) {
      const auto idle = TClock::now() - t.LastActivity;
      if (idle >= idle_limit) {
        throw ECenterCallError("Timeout: no answer from " + url + " within " +
                               std::to_string(timeout) + " ms");
      }
      wait = std::min(wait, std::chrono::ceil<std::chrono::milliseconds>(idle_limit - idle));
    }
    curl_multi_poll(multi.get(), nullptr, 0, static_cast<int>(wait.count()), nullptr);
  }

  int left = 0;
  CURLcode code = CURLE_OK;
  while (CURLMsg* msg = curl_multi_info_read(multi.get(), &left)) {
    if (msg->msg == CURLMSG_DONE) code = msg->data.result;
  }
  if (t.TooLarge) {
    throw ECenterCallError("answer from " + url + " is larger than " +
                           std::to_string(kMaxSoapAnswerBytes) + " bytes");
  }
  if (code == CURLE_OPERATION_TIMEDOUT) {
    throw ECenterCallError("Timeout: " + std::string(error[0] ? error : curl_easy_strerror(code)));
  }
  if (code != CURLE_OK) {
    throw ECenterCallError("HTTP call to " + url +
                           " failed: " + std::string(error[0] ? error : curl_easy_strerror(code)));
  }
  return std::move(t.Reply);
}

}  // namespace viewer
