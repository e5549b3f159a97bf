#pragma once

#include <QObject>

namespace lotfinch::platform {

// A hidden object that receives callbacks from the event loop on behalf of a
// family of components (timers, tray icons). The last component of a family
// may go away inside one of those callbacks, so the window can be disposed of
// while it is delivering: it then goes when the delivery has unwound.
class MessageWindow : public QObject
{
public:
    MessageWindow() = default;

    // Stops all callbacks and deletes the window, at once or, when called from
    // inside a delivery, as soon as that delivery returns.
    void dispose();

    bool delivering() const { return depth_ > 0; }

protected:
    ~MessageWindow() override = default;

    // Stops whatever would call back; run by dispose().
    virtual void shutDown() = 0;

    // Held for the length of each callback into a component.
    class Delivery
    {
    public:
        explicit Delivery(MessageWindow &window) : window_(window) { ++window_.depth_; }
        ~Delivery();
        Delivery(const Delivery &) = delete;
        Delivery &operator=(const Delivery &) = delete;

    private:
        MessageWindow &window_;
    };

private:
    int depth_ = 0;
    bool disposed_ = false;
};

} // namespace lotfinch::platform
