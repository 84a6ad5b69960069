// The socket layer: stack lifetime, host lookup, error numbers and their
// messages, and the socket handle's states.
#include <gtest/gtest.h>

#include <cerrno>
#include <netdb.h>

#include "platform/code_page.h"
#include "script_server.h"
#include "smtp/exceptions.h"
#include "smtp/io_handler.h"
#include "smtp/socket_stack.h"
#include "smtp/tcp_connection.h"
#include "support/silent_listener.h"

namespace vornetta::smtp {
namespace {


TEST(SocketStack, LivesExactlyWhileComponentsLive) {
  ASSERT_EQ(SocketStack(), nullptr);
  {
    TIdComponent first;
    TIdStack* stack = SocketStack();
    ASSERT_NE(stack, nullptr);
    {
      TIdTCPClient second;  // connection and, once connecting, its handler count too
      EXPECT_EQ(StackUsers(), 2);
      EXPECT_EQ(SocketStack(), stack);
    }
    EXPECT_EQ(StackUsers(), 1);
    EXPECT_EQ(SocketStack(), stack);
  }
  EXPECT_EQ(StackUsers(), 0);
  EXPECT_EQ(SocketStack(), nullptr);
}

TEST(SocketStack, RecognisesDottedQuadsByFourPartsUpTo255) {
  EXPECT_TRUE(TIdStack::IsDottedQuad("192.0.2.10"));
  EXPECT_TRUE(TIdStack::IsDottedQuad("0.0.0.0"));
  EXPECT_TRUE(TIdStack::IsDottedQuad("255.255.255.255"));
  EXPECT_FALSE(TIdStack::IsDottedQuad("192.0.2.256"));
  EXPECT_FALSE(TIdStack::IsDottedQuad("1.2.3"));
  EXPECT_FALSE(TIdStack::IsDottedQuad("1.2.3.4.5"));
  EXPECT_FALSE(TIdStack::IsDottedQuad("1..3.4"));
  EXPECT_FALSE(TIdStack::IsDottedQuad("a.b.c.d"));
  EXPECT_FALSE(TIdStack::IsDottedQuad("1.2.3.4x"));
  EXPECT_FALSE(TIdStack::IsDottedQuad(""));
}

TEST(SocketStack, LooksUpHostsWithShortCutsForLocalhostAndDottedQuads) {
  TIdComponent user;
  TIdStack& stack = *SocketStack();
  EXPECT_EQ(stack.LookupHost("localhost"), "127.0.0.1");
  EXPECT_EQ(stack.LookupHost("LocalHost"), "127.0.0.1");
  EXPECT_EQ(stack.LookupHost("192.0.2.10"), "192.0.2.10");
  EXPECT_EQ(stack.LookupHost("127.1.2.3"), "127.1.2.3");
  EXPECT_EQ(stack.LookupHost("127.1"), "127.0.0.1");  // three parts: the resolver reads it
  EXPECT_FALSE(stack.LocalHostName().empty());
}

TEST(SocketStack, UnresolvableHostGives11001HostNichtGefunden) {
  TIdComponent user;
  try {
    SocketStack()->LookupHost("no-such-host.invalid");
    FAIL() << "no exception";
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.SocketErrorCode(), 11001);
    EXPECT_EQ(std::string(e.what()), "Socket-Fehler # 11001\r\nHost nicht gefunden.");
    EXPECT_EQ(SocketStack()->LastSocketError(), 11001);
  }
}

TEST(SocketStack, ErrorTextsCarryNumberAndTableText) {
  EXPECT_EQ(std::string(TIdStack::SocketErrorText(10061)), "Socket-Fehler # 10061\r\nVerbindung abgelehnt.");
  EXPECT_EQ(std::string(TIdStack::SocketErrorText(10035)),
            "Socket-Fehler # 10035\r\nDie Operation würde blockieren. ");
  EXPECT_EQ(std::string(TIdStack::SocketErrorText(10058)),
            "Socket-Fehler # 10058\r\nNach Schließen des Socket kann weder gesendet noch empfangen werden.");
  EXPECT_EQ(std::string(TIdStack::SocketErrorText(10066)), "Socket-Fehler # 10066\r\nVerzeichnis ist nicht leer");
  EXPECT_EQ(TIdStack::SocketErrorText(12345), "Socket-Fehler # 12345\r\n");
  EXPECT_EQ(TIdStack::SocketErrorText(5), "Socket-Fehler # 5\r\n");
}

TEST(SocketStack, MapsErrnoAndResolverResultsOntoTableNumbers) {
  EXPECT_EQ(SocketErrorCodeOfErrno(ECONNREFUSED), 10061);
  EXPECT_EQ(SocketErrorCodeOfErrno(ETIMEDOUT), 10060);
  EXPECT_EQ(SocketErrorCodeOfErrno(ECONNRESET), 10054);
  EXPECT_EQ(SocketErrorCodeOfErrno(ECONNABORTED), 10053);
  EXPECT_EQ(SocketErrorCodeOfErrno(EPIPE), 10058);
  EXPECT_EQ(SocketErrorCodeOfErrno(ESHUTDOWN), 10058);
  EXPECT_EQ(SocketErrorCodeOfErrno(EHOSTUNREACH), 10065);
  EXPECT_EQ(SocketErrorCodeOfErrno(ENETUNREACH), 10051);
  EXPECT_EQ(SocketErrorCodeOfErrno(EADDRINUSE), 10048);
  EXPECT_EQ(SocketErrorCodeOfErrno(EAGAIN), 10035);
  EXPECT_EQ(SocketErrorCodeOfErrno(EIO), EIO);
  EXPECT_EQ(SocketErrorCodeOfResolver(EAI_NONAME, 0), 11001);
  EXPECT_EQ(SocketErrorCodeOfResolver(EAI_AGAIN, 0), 11001);
  EXPECT_EQ(SocketErrorCodeOfResolver(EAI_SYSTEM, ECONNREFUSED), 10061);
  EXPECT_EQ(SocketErrorCodeOfResolver(EAI_MEMORY, 0), 10055);
}

TEST(SocketStack, CheckSocketResultToleratesListedCodesAndRaisesOthers) {
  TIdComponent user;
  TIdStack& stack = *SocketStack();
  EXPECT_FALSE(stack.CheckSocketResult(0, {}));
  EXPECT_FALSE(stack.CheckSocketResult(17, {}));
  SetLastPlatformSocketError(10054);
  EXPECT_TRUE(stack.CheckSocketResult(-1, {10053, 10054}));
  EXPECT_EQ(stack.LastSocketError(), 10054);
  SetLastPlatformSocketError(10060);
  EXPECT_THROW(stack.CheckSocketResult(-1, {10054}), EIdSocketError);
}

TEST(SocketConnect, RefusedPortGives10061AndLeavesSocketClosed) {
  TIdTCPClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(test::UnusedLoopbackPort());
  try {
    client.OpenConnection();
    FAIL() << "no exception";
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.SocketErrorCode(), 10061);
    EXPECT_EQ(std::string(e.what()), "Socket-Fehler # 10061\r\nVerbindung abgelehnt.");
  }
  EXPECT_FALSE(client.IsConnected());
  ASSERT_NE(client.IOHandler(), nullptr);
  EXPECT_TRUE(client.OwnsIOHandler());
  client.CloseConnection();
  EXPECT_EQ(client.IOHandler(), nullptr);
}

TEST(SocketConnect, UnresolvableServerNameFailsBeforeConnecting) {
  TIdTCPClient client;
  client.SetHost("no-such-host.invalid");
  client.SetPort(25);
  try {
    client.OpenConnection();
    FAIL() << "no exception";
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.SocketErrorCode(), 11001);
  }
  EXPECT_FALSE(client.IsConnected());
}

TEST(SocketHandle, BindsToPlatformPortAndKnowsBothEnds) {
  test::ScriptServer server({test::Send("220 hi\r\n")});
  TIdTCPClient client;
  client.SetHost("LOCALHOST");
  client.SetPort(server.Port());
  client.OpenConnection(2000);  // a bounded connect attempt
  auto* handler = dynamic_cast<TIdIOHandlerSocket*>(client.IOHandler());
  ASSERT_NE(handler, nullptr);
  TIdSocketHandle* binding = handler->Binding();
  EXPECT_EQ(binding->IP(), "127.0.0.1");
  EXPECT_GT(binding->Port(), 0);
  EXPECT_EQ(binding->RemoteIP(), "127.0.0.1");
  EXPECT_EQ(binding->RemotePort(), server.Port());
  EXPECT_THROW(client.OpenConnection(), EIdAlreadyConnected);
  EXPECT_TRUE(client.IsConnected());

  binding->ReleaseSocket();
  binding->ReleaseSocket();  // a second release does nothing
  EXPECT_THROW(handler->WaitReadable(platform::TDeadline()), EIdConnClosedGracefully);
  char buffer[8];
  EXPECT_THROW(handler->ReceiveInto(buffer, sizeof buffer), EIdClosedSocket);
  EXPECT_THROW(handler->SendFrom(buffer, sizeof buffer), EIdClosedSocket);
}

TEST(SocketHandle, BoundAddressInUseGivesCouldNotBind) {
  test::ScriptServer server({});
  test::TSilentListener taken;

  TIdTCPClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(server.Port());
  client.SetBoundIP("127.0.0.1");
  client.SetBoundPort(taken.Port());
  try {
    client.OpenConnection();
    FAIL() << "no exception";
  } catch (const EIdCouldNotBindSocket& e) {
    EXPECT_EQ(std::string(e.what()),
              "Socket konnte nicht gebunden werden. Adresse und Port werden bereits benutzt.");
  }
  EXPECT_FALSE(client.IsConnected());
}

}  // namespace
}  // namespace vornetta::smtp
