// The status queries the command console sends and the self-test it starts:
// each query answers one byte, which tests may set (setQueryReply).
#include <algorithm>

#include "sim/SimInternal.h"

namespace torva::sim {

namespace {

struct Query {
  const char* name;
  Bytes bytes;
  uint8_t reply;  // what a fresh printer answers
};

// 10 04 n: the real-time status bytes (printer, off-line, error, paper
// sensor); 1B 76: the paper sensor; 1D 72 n: drawer (02) and the paper and
// drawer status of the 31/32 forms. 1D 72 01 is TransmitStatus.
const Query kQueries[] = {
    {"RealTimeStatus", {0x10, 0x04, 0x01}, 0x16}, {"RealTimeStatus", {0x10, 0x04, 0x02}, 0x12},
    {"RealTimeStatus", {0x10, 0x04, 0x03}, 0x12}, {"RealTimeStatus", {0x10, 0x04, 0x04}, 0x12},
    {"PaperStatus", {0x1B, 0x76}, 0x00},          {"TransmitStatus", {0x1D, 0x72, 0x02}, 0x00},
    {"TransmitStatus", {0x1D, 0x72, 0x31}, 0x00}, {"TransmitStatus", {0x1D, 0x72, 0x32}, 0x00},
};

}  // namespace

uint32_t QueryKey(const Bytes& query) {
  uint32_t key = static_cast<uint32_t>(std::min<size_t>(query.size(), 255)) << 24;
  for (size_t i = 0; i < query.size() && i < 3; ++i) key |= static_cast<uint32_t>(query[i]) << (16 - 8 * i);
  return key;
}

std::map<uint32_t, uint8_t> DefaultQueryReplies() {
  std::map<uint32_t, uint8_t> m;
  for (const Query& q : kQueries) m[QueryKey(q.bytes)] = q.reply;
  return m;
}

void AddConsoleRows(std::vector<CommandRow>& t) {
  for (const Query& q : kQueries) {
    t.push_back({q.name, q.bytes, q.bytes.size(), [](FrameContext& c) {
                   c.replies.push_back({{c.printer.queryReplies[QueryKey(c.frame)]}, -1});
                 }});
  }
  // GS ( A, pL 2, pH 0, n 2, m 2: print the self-test page. No reply.
  t.push_back({"SelfTest", {0x1D, 0x28, 0x41, 0x02, 0x00, 0x02, 0x02}, 7, {}});
}

void SimPrinter::setQueryReply(const Bytes& query, uint8_t value) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->queryReplies[QueryKey(query)] = value;
}

uint8_t SimPrinter::queryReply(const Bytes& query) const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  auto it = impl_->queryReplies.find(QueryKey(query));
  return it == impl_->queryReplies.end() ? 0 : it->second;
}

}  // namespace torva::sim
