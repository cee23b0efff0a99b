#include "serial/SerPrst.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace glowkite;

namespace {

// Counts the notifications that reach the owner of a group.
struct Owner {
    int notified = 0;
    void Attach(TSerPersistent &group)
    {
        group.SetOnChange([this](TSerPersistent &) { ++notified; });
    }
};

} // namespace

TEST(SerPrstTest, DefaultsOfTheGroups)
{
    TSerBuffers b;
    EXPECT_EQ(b.ReadSize(), 4096);
    EXPECT_EQ(b.WriteSize(), 2048);
    EXPECT_EQ(b.ReadTimeout(), 1000);
    EXPECT_EQ(b.WriteTimeout(), 1000);
    EXPECT_EQ(b.XonLimit(), 1024);
    EXPECT_EQ(b.XoffLimit(), 1024);

    TSerEventChars c;
    EXPECT_EQ(c.XonChar(), 0x11);
    EXPECT_EQ(c.XoffChar(), 0x13);
    EXPECT_EQ(c.ErrorChar(), 0);
    EXPECT_EQ(c.EventChar(), 0);
    EXPECT_EQ(c.EofChar(), 0);

    TSerFlowControl f;
    EXPECT_FALSE(f.OutCtsFlow());
    EXPECT_FALSE(f.OutDsrFlow());
    EXPECT_EQ(f.ControlDtr(), dtrDisabled);
    EXPECT_EQ(f.ControlRts(), rtsDisabled);
    EXPECT_FALSE(f.XonXoffOut());
    EXPECT_FALSE(f.XonXoffIn());
    EXPECT_FALSE(f.DsrSensitivity());
    EXPECT_FALSE(f.TxContinueOnXoff());
}

TEST(SerPrstTest, BufferSettersNotifyOnlyOnChange)
{
    TSerBuffers b;
    Owner owner;
    owner.Attach(b);

    b.SetReadSize(4096);
    b.SetWriteSize(2048);
    b.SetXonLimit(1024);
    b.SetXoffLimit(1024);
    EXPECT_EQ(owner.notified, 0);

    b.SetReadSize(8192);
    b.SetWriteSize(100);
    b.SetXonLimit(70000);
    b.SetXoffLimit(1);
    EXPECT_EQ(owner.notified, 4);
    EXPECT_EQ(b.XonLimit(), 70000); // kept whole; only the control block truncates
}

TEST(SerPrstTest, TimeoutsArePlainFields)
{
    TSerBuffers b;
    Owner owner;
    owner.Attach(b);
    b.SetReadTimeout(5);
    b.SetWriteTimeout(7);
    EXPECT_EQ(owner.notified, 0);
    EXPECT_EQ(b.ReadTimeout(), 5);
    EXPECT_EQ(b.WriteTimeout(), 7);
}

TEST(SerPrstTest, NegativeBufferValuesAreRefusedAndNotStored)
{
    TSerBuffers b;
    Owner owner;
    owner.Attach(b);
    EXPECT_THROW(b.SetReadSize(-1), std::out_of_range);
    EXPECT_THROW(b.SetReadTimeout(-5), std::out_of_range);
    EXPECT_EQ(b.ReadSize(), 4096);
    EXPECT_EQ(b.ReadTimeout(), 1000);
    EXPECT_EQ(owner.notified, 0);
}

TEST(SerPrstTest, EventCharSettersAlwaysNotify)
{
    TSerEventChars c;
    Owner owner;
    owner.Attach(c);
    c.SetXonChar(0x11); // the value it already holds
    EXPECT_EQ(owner.notified, 1);
    c.SetXoffChar(0x13);
    c.SetErrorChar(0);
    c.SetEventChar(0);
    c.SetEofChar(0x1A);
    EXPECT_EQ(owner.notified, 5);
    EXPECT_EQ(c.EofChar(), 0x1A);
}

TEST(SerPrstTest, FlowControlSettersNotifyOnlyOnChange)
{
    TSerFlowControl f;
    Owner owner;
    owner.Attach(f);
    f.SetControlDtr(dtrDisabled);
    f.SetOutCtsFlow(false);
    EXPECT_EQ(owner.notified, 0);
    f.SetControlRts(rtsToggle);
    f.SetXonXoffIn(true);
    EXPECT_EQ(owner.notified, 2);
}

TEST(SerPrstTest, AssignCopiesEveryValueAndNotifiesOnce)
{
    TSerFlowControl source;
    source.SetOutCtsFlow(true);
    source.SetOutDsrFlow(true);
    source.SetControlDtr(dtrHandshake);
    source.SetControlRts(rtsHandshake);
    source.SetXonXoffOut(true);
    source.SetXonXoffIn(true);
    source.SetDsrSensitivity(true);
    source.SetTxContinueOnXoff(true);

    TSerFlowControl target;
    Owner owner;
    owner.Attach(target);
    target.Assign(source);
    EXPECT_EQ(owner.notified, 1);
    EXPECT_TRUE(target.OutCtsFlow());
    EXPECT_TRUE(target.OutDsrFlow());
    EXPECT_EQ(target.ControlDtr(), dtrHandshake);
    EXPECT_EQ(target.ControlRts(), rtsHandshake);
    EXPECT_TRUE(target.XonXoffOut());
    EXPECT_TRUE(target.XonXoffIn());
    EXPECT_TRUE(target.DsrSensitivity());
    EXPECT_TRUE(target.TxContinueOnXoff());
    EXPECT_EQ(target.UpdateCount(), 0);

    TSerBuffers buffers, other;
    other.SetReadSize(1);
    other.SetReadTimeout(2);
    Owner bufferOwner;
    bufferOwner.Attach(buffers);
    buffers.Assign(other);
    EXPECT_EQ(bufferOwner.notified, 1);
    EXPECT_EQ(buffers.ReadSize(), 1);
    EXPECT_EQ(buffers.ReadTimeout(), 2);

    TSerEventChars chars, sameChars;
    Owner charsOwner;
    charsOwner.Attach(chars);
    chars.Assign(sameChars);
    EXPECT_EQ(charsOwner.notified, 1);
}

TEST(SerPrstTest, UpdateCounterHoldsNotificationsBack)
{
    TSerFlowControl f;
    Owner owner;
    owner.Attach(f);
    f.BeginUpdate();
    f.BeginUpdate();
    f.SetOutCtsFlow(true);
    f.SetXonXoffOut(true);
    f.EndUpdate();
    EXPECT_EQ(owner.notified, 0);
    f.EndUpdate();
    EXPECT_EQ(owner.notified, 1);
    f.EndUpdate(); // counter stays at 0, and the owner hears of it again
    EXPECT_EQ(f.UpdateCount(), 0);
    EXPECT_EQ(owner.notified, 2);
}

TEST(SerPrstTest, AssignLowersTheCounterWhenTheOwnerRefuses)
{
    TSerBuffers b, source;
    source.SetReadSize(10);
    b.SetOnChange([](TSerPersistent &) { throw std::runtime_error("refused"); });
    EXPECT_THROW(b.Assign(source), std::runtime_error);
    EXPECT_EQ(b.UpdateCount(), 0);
    EXPECT_EQ(b.ReadSize(), 10); // the change stays stored in the group
}

TEST(SerPrstTest, ACopyDoesNotTakeTheOwnersCallback)
{
    TSerEventChars c;
    Owner owner;
    owner.Attach(c);
    TSerEventChars copy(c);
    copy.SetXonChar(1);
    EXPECT_EQ(owner.notified, 0);
    EXPECT_EQ(copy.XoffChar(), 0x13);
}
