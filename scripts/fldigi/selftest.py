#!/usr/bin/env python3
"""Checks a running fldigi (started by scripts/fldigi.sh) through XML-RPC: TX rate and T/R
turnaround for BPSK31/QPSK31, rx/abort/tune, log fields, and (pulse mode) receive of a WAV
played into the null sink. Ends with 'N passed, N failed'."""
import argparse, os, subprocess, time, xmlrpc.client

ap = argparse.ArgumentParser()
ap.add_argument("--port", type=int, required=True)
ap.add_argument("--mode", choices=("null", "pulse"), default="null")
ap.add_argument("--wavdir", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "data", "fldigi"))
a = ap.parse_args()
s = xmlrpc.client.ServerProxy("http://127.0.0.1:%d/" % a.port)
passed = failed = 0

def check(name, ok, detail=""):
    global passed, failed
    passed += bool(ok); failed += not ok
    print("  %s  %s %s" % ("pass" if ok else "FAIL", name, detail))

def wait_state(want, limit):
    t = time.time()
    while s.main.get_trx_state() != want and time.time() - t < limit:
        time.sleep(0.02)
    return time.time() - t

def tx_text(mode, text):
    s.modem.set_by_name(mode); time.sleep(0.3)
    s.text.clear_tx(); s.tx.get_data()
    s.text.add_tx(text + "^r")
    t0 = time.time(); s.main.tx()
    stamps, got, rx_at = [], b"", None
    while time.time() - t0 < 60:
        st = s.main.get_trx_state()
        d = s.tx.get_data().data
        now = time.time() - t0
        stamps += [now] * len(d); got += d
        if st == "RX" and now > 0.5:
            rx_at = now; break
        time.sleep(0.02)
    rate = (len(got) - 1) / (stamps[-1] - stamps[0]) if len(got) > 1 else 0.0
    return got, stamps, rx_at, rate

print("fldigi %s on port %d, modem %s, carrier %s" % (s.fldigi.version(), a.port, s.modem.get_name(), s.modem.get_carrier()))
for mode in ("BPSK31", "QPSK31"):
    for text in ("cq cq cq de n0call n0call pse k\n", "CQ CQ CQ DE N0CALL N0CALL PSE K\n"):
        got, st, rx_at, rate = tx_text(mode, text)
        check("%s tx %s..." % (mode, text[:6]), got == text.replace("\n", "\r\n").encode() and rx_at is not None,
              "first char %.2f s, last %.2f s, %.2f chars/s, last char -> RX %.2f s"
              % (st[0], st[-1], rate, (rx_at or 0) - st[-1]))
# main.rx cuts the text short (and clears the TX pane); main.abort stops at once
s.modem.set_by_name("BPSK31"); s.text.clear_tx(); s.tx.get_data()
s.text.add_tx("a long text that is still going out when main.rx arrives three seconds later"); s.main.tx(); time.sleep(3)
s.main.rx(); dt = wait_state("RX", 10); sent = s.tx.get_data().data
check("main.rx stops a running TX", dt < 5, "RX after %.2f s; sent only %r" % (dt, sent))
s.text.add_tx("abort abort abort abort abort abort"); s.main.tx(); time.sleep(2.5)
s.main.abort(); dt = wait_state("RX", 10)
check("main.abort stops a running TX", dt < 1, "RX after %.2f s" % dt)
s.main.tune(); time.sleep(1)
st1, st2 = s.main.get_trx_state(), s.main.get_trx_status()
s.main.rx(); dt = wait_state("RX", 10)
check("main.tune then main.rx", st1 == "TX" and st2 == "tune" and dt < 3, "state %s/%s, back to RX in %.2f s" % (st1, st2, dt))
# settings: carrier (RX/TX audio frequency), AFC, squelch, mode change keeps the carrier?
s.modem.set_carrier(1234); s.modem.set_by_name("QPSK31"); time.sleep(0.3)
check("modem.set_by_name QPSK31 keeps set_carrier 1234", s.modem.get_name() == "QPSK31" and s.modem.get_carrier() == 1234, "carrier after mode change: %d" % s.modem.get_carrier())
s.main.set_afc(False); s.main.set_squelch(True); s.main.set_squelch_level(20.0)
check("AFC/squelch setters", not s.main.get_afc() and s.main.get_squelch() and s.main.get_squelch_level() == 20.0)
s.main.set_afc(True); s.main.set_squelch_level(5.0); s.modem.set_by_name("BPSK31"); s.modem.set_carrier(1000)
s.log.set_call("DL1ABC"); s.log.set_name("Hans"); time.sleep(0.3)
call, name = s.log.get_call(), s.log.get_name()
check("log.set_call / log.set_name", call == "DL1ABC" and name == "Hans", "call %r name %r" % (call, name))
s.log.clear()
if a.mode == "pulse":
    for mode, wav, want in (("BPSK31", "bpsk31-cq.wav", b"cq cq de k1abc k1abc bpsk31 test pse k"),
                            ("QPSK31", "qpsk31-cq.wav", b"cq cq de k1abc k1abc qpsk31 test pse k")):
        s.modem.set_by_name(mode); s.modem.set_carrier(1000); time.sleep(0.5); s.rx.get_data()
        t0 = time.time()
        subprocess.run(["paplay", "-d", "qsonull", os.path.join(a.wavdir, wav)], check=True)
        time.sleep(1.0)
        got = s.rx.get_data().data
        check("receive %s played into the null sink" % wav, want in got, "%.1f s, decoded %r" % (time.time() - t0, got))
print("%d passed, %d failed" % (passed, failed))
raise SystemExit(1 if failed else 0)
