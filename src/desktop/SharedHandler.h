#pragma once

#include <QtGlobal>

namespace lotfinch::desktop {

// The one handler of a family of components (its hidden window and the table
// of live members), created with the first member and freed with the last.
// Handler has a public UserCount.
template <class Handler> class SharedHandler
{
public:
    SharedHandler() = default;
    SharedHandler(const SharedHandler &) = delete;
    SharedHandler &operator=(const SharedHandler &) = delete;
    // A handler that outlived its members goes when the program ends.
    ~SharedHandler() { delete handler_; }

    Handler *get() const { return handler_; }

    Handler &acquire()
    {
        if (!handler_)
            handler_ = new Handler;
        ++handler_->UserCount;
        return *handler_;
    }

    void release()
    {
        if (!handler_)
            return;
        if (handler_->UserCount > 0)
            --handler_->UserCount;
        if (handler_->UserCount == 0) {
            delete handler_;
            handler_ = nullptr;
        }
    }

private:
    Handler *handler_ = nullptr;
};

// The next id after last that no live member holds; 0 is never used.
template <class Table> quint32 nextFreeId(quint32 &last, const Table &live)
{
    do
        ++last;
    while (last == 0 || live.count(last));
    return last;
}

} // namespace lotfinch::desktop
