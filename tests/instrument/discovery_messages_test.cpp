// The portmapper messages of a discovery pass: what is asked, and which
// replies count as an instrument's core-channel port.
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <rpc/rpc.h>
#include <rpc/pmap_prot.h>

#include "instrument/discovery.h"

namespace {

// A portmapper's reply to `xid`, accepted with `stat`, carrying `port`.
std::vector<char> Reply(u_int32_t xid, accept_stat stat, u_long port,
                        reply_stat replied = MSG_ACCEPTED) {
  std::vector<char> wire(256);
  XDR xdr;
  xdrmem_create(&xdr, wire.data(), static_cast<u_int>(wire.size()), XDR_ENCODE);
  rpc_msg msg{};
  msg.rm_xid = xid;
  msg.rm_direction = REPLY;
  msg.rm_reply.rp_stat = replied;
  if (replied == MSG_ACCEPTED) {
    msg.acpted_rply.ar_verf = _null_auth;
    msg.acpted_rply.ar_stat = stat;
    msg.acpted_rply.ar_results.where = reinterpret_cast<caddr_t>(&port);
    msg.acpted_rply.ar_results.proc = reinterpret_cast<xdrproc_t>(xdr_u_long);
  } else {
    msg.rjcted_rply.rj_stat = AUTH_ERROR;
    msg.rjcted_rply.rj_why = AUTH_BADCRED;
  }
  EXPECT_TRUE(xdr_replymsg(&xdr, &msg));
  wire.resize(xdr_getpos(&xdr));
  xdr_destroy(&xdr);
  return wire;
}

TEST(PortmapGetport, AsksForTheCoreChannelOverTcp) {
  char request[1400];
  std::size_t length = EncodePortmapGetport(0x1234, 0x0607AF, 1, IPPROTO_TCP, request, sizeof request);
  ASSERT_GT(length, 0u);
  XDR xdr;
  xdrmem_create(&xdr, request, static_cast<u_int>(length), XDR_DECODE);
  rpc_msg call{};
  char credentials[2][MAX_AUTH_BYTES];
  call.rm_call.cb_cred.oa_base = credentials[0];
  call.rm_call.cb_verf.oa_base = credentials[1];
  ASSERT_TRUE(xdr_callmsg(&xdr, &call));
  pmap args{};
  ASSERT_TRUE(xdr_pmap(&xdr, &args));
  xdr_destroy(&xdr);
  EXPECT_EQ(call.rm_xid, 0x1234u);
  EXPECT_EQ(call.rm_call.cb_rpcvers, 2u);
  EXPECT_EQ(call.rm_call.cb_prog, 100000u);
  EXPECT_EQ(call.rm_call.cb_vers, 2u);
  EXPECT_EQ(call.rm_call.cb_proc, 3u);
  EXPECT_EQ(call.rm_call.cb_cred.oa_flavor, AUTH_NONE);
  EXPECT_EQ(args.pm_prog, 0x0607AFu);
  EXPECT_EQ(args.pm_vers, 1u);
  EXPECT_EQ(args.pm_prot, static_cast<u_long>(IPPROTO_TCP));
  EXPECT_EQ(args.pm_port, 0u);
  EXPECT_EQ(EncodePortmapGetport(1, 0x0607AF, 1, IPPROTO_TCP, request, 20), 0u);
}

TEST(PortmapReply, OnlyAnAcceptedSuccessForOurCallWithAPortCounts) {
  unsigned long port = 0;
  std::vector<char> good = Reply(77, SUCCESS, 1022);
  EXPECT_TRUE(DecodePortmapReply(good.data(), good.size(), 77, &port));
  EXPECT_EQ(port, 1022u);

  std::vector<char> cut(good.begin(), good.end() - 4);
  const std::pair<const char*, std::vector<char>> refused[] = {
      {"another call's", Reply(78, SUCCESS, 1022)},
      {"unregistered", Reply(77, SUCCESS, 0)},
      {"failed", Reply(77, PROC_UNAVAIL, 1022)},
      {"denied", Reply(77, SUCCESS, 1022, MSG_DENIED)},
      {"cut short", cut},
  };
  for (const auto& [why, wire] : refused) {
    port = 5;
    EXPECT_FALSE(DecodePortmapReply(wire.data(), wire.size(), 77, &port)) << why;
    EXPECT_EQ(port, 5u) << why;
  }
}

}  // namespace
