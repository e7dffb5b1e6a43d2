// The worker thread's command handshake, seen from both ends.
#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <thread>
#include <vector>

#include "runtime/CWorkerThread.h"

namespace {

class CTestWorker : public CWorkerThread {
 public:
  using Body = std::function<DWORD(CTestWorker&)>;

  explicit CTestWorker(Body body) : m_body(std::move(body)) {}
  ~CTestWorker() { JoinThread(); }

  void SetBody(Body body) { m_body = std::move(body); }

  using CWorkerThread::AccessLock;
  using CWorkerThread::PeekCommand;
  using CWorkerThread::ReplyCommand;
  using CWorkerThread::ThreadExists;
  using CWorkerThread::WaitCommand;

 protected:
  DWORD WorkerMain() override { return m_body(*this); }

 private:
  Body m_body;
};

constexpr DWORD kExit = 0;

// Answers every command until kExit, then ends.
DWORD EchoPlusOne(CTestWorker& worker) {
  for (;;) {
    const DWORD command = worker.WaitCommand();
    worker.ReplyCommand(command == kExit ? 0 : command + 1);
    if (command == kExit) {
      return 0;
    }
  }
}

TEST(WorkerThread, SendCommandWithoutThreadFails) {
  CTestWorker worker(EchoPlusOne);
  EXPECT_EQ(E_FAIL, worker.SendCommand(5));
  EXPECT_FALSE(worker.ThreadExists());
}

TEST(WorkerThread, RepliesArriveExactlyWhileWorkerKeepsWorking) {
  std::vector<DWORD> peeked;  // written by the worker, read after the join
  unsigned long long work = 0;
  CTestWorker worker([&](CTestWorker& self) -> DWORD {
    for (;;) {
      const DWORD command = self.WaitCommand();
      if (command == kExit) {
        self.ReplyCommand(0);
        return 0;
      }
      self.ReplyCommand(command * 2 + 1);
      // Goes on working after the answer and breaks off when the next
      // command is posted; that command is then taken by WaitCommand.
      DWORD next = 0xFFFFFFFF;
      while (!self.PeekCommand(&next)) {
        ++work;
      }
      peeked.push_back(next);
    }
  });
  ASSERT_TRUE(worker.StartThread());
  for (DWORD command = 1; command <= 50; ++command) {
    EXPECT_EQ(static_cast<HRESULT>(command * 2 + 1), worker.SendCommand(command));
  }
  EXPECT_EQ(S_OK, worker.SendCommand(kExit));
  worker.JoinThread();

  std::vector<DWORD> expected;
  for (DWORD command = 2; command <= 50; ++command) {
    expected.push_back(command);
  }
  expected.push_back(kExit);
  EXPECT_EQ(expected, peeked);
}

TEST(WorkerThread, ReplyIsTheFullThirtyTwoBitValue) {
  CTestWorker worker([](CTestWorker& self) -> DWORD {
    self.WaitCommand();
    self.ReplyCommand(0x80040211u);
    self.WaitCommand();
    self.ReplyCommand(0);
    return 0;
  });
  ASSERT_TRUE(worker.StartThread());
  EXPECT_EQ(VFW_E_NOT_COMMITTED, worker.SendCommand(1));
  EXPECT_EQ(S_OK, worker.SendCommand(kExit));
}

TEST(WorkerThread, SecondStartLeavesRunningThreadAlone) {
  CTestWorker worker(EchoPlusOne);
  ASSERT_TRUE(worker.StartThread());
  EXPECT_FALSE(worker.StartThread());
  EXPECT_EQ(8, worker.SendCommand(7));
  EXPECT_EQ(S_OK, worker.SendCommand(kExit));
  worker.JoinThread();
  EXPECT_FALSE(worker.ThreadExists());
  EXPECT_EQ(E_FAIL, worker.SendCommand(7));
}

TEST(WorkerThread, PeekSeesPostedCommandWithoutConsumingIt) {
  struct Seen {
    BOOL emptyPeek = TRUE;
    DWORD untouched = 0;
    DWORD first = 0, second = 0, waited = 0;
    BOOL secondPeek = FALSE, peekWithoutOut = FALSE, afterReply = TRUE;
  } seen;
  std::promise<void> ready;
  std::promise<void> repliedAndPeeked;
  CTestWorker worker([&](CTestWorker& self) -> DWORD {
    seen.untouched = 0xABCD;
    seen.emptyPeek = self.PeekCommand(&seen.untouched);
    ready.set_value();
    while (!self.PeekCommand(&seen.first)) {
      std::this_thread::yield();
    }
    seen.secondPeek = self.PeekCommand(&seen.second);
    seen.peekWithoutOut = self.PeekCommand(nullptr);
    seen.waited = self.WaitCommand();
    self.ReplyCommand(seen.waited + 100);
    seen.afterReply = self.PeekCommand(nullptr);
    repliedAndPeeked.set_value();
    self.WaitCommand();
    self.ReplyCommand(0);
    return 0;
  });
  ASSERT_TRUE(worker.StartThread());
  ready.get_future().wait();
  EXPECT_EQ(142, worker.SendCommand(42));
  repliedAndPeeked.get_future().wait();
  EXPECT_EQ(S_OK, worker.SendCommand(kExit));
  worker.JoinThread();

  EXPECT_FALSE(seen.emptyPeek);
  EXPECT_EQ(0xABCDu, seen.untouched);
  EXPECT_EQ(42u, seen.first);
  EXPECT_TRUE(seen.secondPeek);
  EXPECT_EQ(42u, seen.second);
  EXPECT_TRUE(seen.peekWithoutOut);
  EXPECT_EQ(42u, seen.waited);
  EXPECT_FALSE(seen.afterReply);
}

TEST(WorkerThread, ConcurrentJoinsBothReturnAndThreadCanStartAgain) {
  std::promise<void> finish;
  std::shared_future<void> finishSignal = finish.get_future().share();
  CTestWorker worker([finishSignal](CTestWorker&) -> DWORD {
    finishSignal.wait();
    return 3;
  });
  ASSERT_TRUE(worker.StartThread());
  std::thread firstJoiner([&] { worker.JoinThread(); });
  std::thread secondJoiner([&] { worker.JoinThread(); });
  finish.set_value();
  firstJoiner.join();
  secondJoiner.join();
  EXPECT_FALSE(worker.ThreadExists());
  EXPECT_EQ(E_FAIL, worker.SendCommand(1));

  worker.SetBody(EchoPlusOne);
  ASSERT_TRUE(worker.StartThread());
  EXPECT_EQ(2, worker.SendCommand(1));
  EXPECT_EQ(S_OK, worker.SendCommand(kExit));
  // The thread has ended on its own: the join only collects it.
  worker.JoinThread();
  worker.JoinThread();
  EXPECT_FALSE(worker.ThreadExists());
}

TEST(WorkerThread, AccessLockIsReentrantAroundTheHandshake) {
  CTestWorker worker(EchoPlusOne);
  CRITICAL_SECTION* lock = worker.AccessLock();
  EnterCriticalSection(lock);
  ASSERT_TRUE(worker.StartThread());
  EXPECT_EQ(11, worker.SendCommand(10));
  EXPECT_EQ(S_OK, worker.SendCommand(kExit));
  LeaveCriticalSection(lock);
  worker.JoinThread();
}

TEST(WorkerThread, DestructionWaitsForTheRunningBody) {
  std::promise<void> finish;
  std::shared_future<void> finishSignal = finish.get_future().share();
  bool bodyFinished = false;
  {
    CTestWorker worker([&, finishSignal](CTestWorker&) -> DWORD {
      finishSignal.wait();
      bodyFinished = true;
      return 0;
    });
    ASSERT_TRUE(worker.StartThread());
    finish.set_value();
  }
  EXPECT_TRUE(bodyFinished);
}

}  // namespace
