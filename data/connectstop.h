// A stop for the connect waits of one thread, for a caller that runs its cycle on a thread
// of its own and is asked to stop from another one (a window's "Cancelar").
//
// While a ConnectStop made on a thread is alive and its flag is true, every attach that the
// thread waits for with a bound (a connection with a connect limit, or any after
// trackEveryCall) ends at once as a lost connection, and one in progress ends within a
// moment, as interruptWaits does for the whole process. Other threads' attaches and every
// call after the attach are not touched. The flag is the caller's, set from any thread; it
// must outlive the ConnectStop. Scopes nest: the innermost holds.
#pragma once

#include <atomic>

namespace enviozvr::data {

class ConnectStop {
  public:
    explicit ConnectStop(const std::atomic<bool>& flag);
    ~ConnectStop();
    ConnectStop(const ConnectStop&) = delete;
    ConnectStop& operator=(const ConnectStop&) = delete;

  private:
    const std::atomic<bool>* previous_;
};

}  // namespace enviozvr::data
