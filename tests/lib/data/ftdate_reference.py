#!/usr/bin/env python3
"""A second implementation of the accounting-period calculator (FT_Date),
written from its description, compared with the C++ one through qzeval.

usage: ftdate_reference.py QZEVAL [COUNT] [SEED]

Draws COUNT random dates and configurations, asks qzeval for every period
of each, computes the same here and reports every difference. Exit code 0
when all agree.
"""
import datetime as dt
import random
import subprocess
import sys

ONE = dt.timedelta(days=1)


def dow(d):  # 1 Sunday .. 7 Saturday
    return d.isoweekday() % 7 + 1


def month_end(y, m):
    nxt = dt.date(y + 1, 1, 1) if m == 12 else dt.date(y, m + 1, 1)
    return (nxt - ONE).day


class Ref:
    def __init__(self, start_month=1, start_day=1, week_start=1):
        self.sm, self.sd, self.ws = start_month, start_day, week_start

    def madd(self, d, months, eom=False):
        offset = d.day - 1
        eom = eom and d.day == month_end(d.year, d.month)
        y, m = d.year, d.month
        step = 1 if months > 0 else -1
        for _ in range(abs(months)):
            m += step
            if m == 13:
                y, m = y + 1, 1
            if m == 0:
                y, m = y - 1, 12
        last = month_end(y, m)
        if eom:
            return dt.date(y, m, last)
        return min(dt.date(y, m, 1) + dt.timedelta(days=offset), dt.date(y, m, last))

    def daytobow(self, d):
        n = dow(d) - self.ws
        return n + 7 if n < 0 else n

    def acctadj(self, d, is_end=False):
        n = self.daytobow(d)
        limit = 2 if is_end else 3
        d = d + dt.timedelta(days=7 - n) if n > limit else d - dt.timedelta(days=n)
        return d - ONE if is_end else d

    def year(self, d):
        y = d.year - (1 if d.month < self.sm else 0)
        first = dt.date(y, self.sm, self.sd)
        last = self.madd(first, 12) - ONE
        return ["%4d" % last.year, first, last]

    @staticmethod
    def position(d, first):
        return (d.month - first.month) % 12 + 1

    def month(self, d, n=None):
        yr = self.year(d)
        if n is not None:
            n = 12 if n < 1 or n > 12 else n
            d = self.madd(yr[1], n - 1)
        m = self.position(d, yr[1])
        first = self.madd(yr[1], m - 1)
        return [yr[0] + "%02d" % m, first, self.madd(first, 1) - ONE]

    def qtr(self, d, n=None):
        yr = self.year(d)
        if n is not None:  # moves to the n-th quarter, as month() does
            n = 4 if n < 1 or n > 4 else n
            d = self.madd(yr[1], 3 * (n - 1))
        q = (self.position(d, yr[1]) - 1) // 3
        first = self.madd(yr[1], 3 * q)
        return [yr[0] + "%02d" % (q + 1), first, self.madd(first, 3) - ONE]

    def week(self, d, n=None):
        yr = self.year(d)
        s = yr[1]
        w = s - dt.timedelta(days=self.daytobow(s))
        if n is not None:
            count = (yr[2] - w).days // 7 + 1
            n = count if n < 1 or n > count else n
            d = w + dt.timedelta(days=(n - 1) * 7)
        d = d + dt.timedelta(days=6 - self.daytobow(d))
        return [yr[0] + "%02d" % int((d - w).days / 7 + 1), max(d - dt.timedelta(days=6), s), min(d, yr[2])]

    def adjust(self, r):
        return [r[0], self.acctadj(r[1]), self.acctadj(r[2], True)]

    def acctyear(self, d):
        r = self.year(d)
        y = int(r[0])
        r = self.adjust(r)
        if d < r[1]:
            r, y = self.adjust(self.year(self.madd(d, -1))), y - 1
        elif d > r[2]:
            r, y = self.adjust(self.year(self.madd(d, 1))), y + 1
        return ["%4d" % y, r[1], r[2]]

    def _acct(self, d, n, fn, top):
        r = fn(d)
        y, k = int(r[0][:4]), int(r[0][4:6])
        r = self.adjust(r)
        if d < r[1]:
            d = self.madd(d, -1)
            r = self.adjust(fn(d))
            k -= 1
            if k == 0:
                k, y = top, y - 1
        elif d > r[2]:
            d = self.madd(d, 1)
            r = self.adjust(fn(d))
            k += 1
            if k == top + 1:
                k, y = 1, y + 1
        if n is not None:
            n = top if n < 1 or n > top else n
            r = fn(d, n)
            y, k = int(r[0][:4]), int(r[0][4:6])
            r = self.adjust(r)
        return ["%4d" % y + "%02d" % k, r[1], r[2]]

    def acctmonth(self, d, n=None):
        return self._acct(d, n, self.month, 12)

    def acctqtr(self, d, n=None):
        return self._acct(d, n, self.qtr, 4)

    def acctweek(self, d, n=None):
        r = self.acctyear(d)
        if n is not None:
            count = (r[2] - r[1]).days // 7 + 1
            n = count if n < 1 or n > count else n
            d = r[1] + dt.timedelta(days=(n - 1) * 7)
        code = r[0] + "%02d" % int((d - r[1]).days / 7 + 1)
        end = d + dt.timedelta(days=6 - self.daytobow(d))
        return [code, end - dt.timedelta(days=6), end]

    def dayofyr(self, d, n=None, acct=False):
        yr = self.acctyear(d) if acct else self.year(d)
        if n is not None:
            mx = (yr[2] - yr[1]).days + 1
            n = mx if n < 1 or n > mx else n
            return [yr[1] + dt.timedelta(days=n - 1), yr[1], yr[2]]
        return [yr[0] + "%03d" % ((d - yr[1]).days + 1), yr[1], yr[2]]


def show(v):
    if isinstance(v, list):
        return "{" + ", ".join('"%s"' % e if isinstance(e, str) else show(e) for e in v) + "}"
    if isinstance(v, dt.date):
        return v.strftime("%d/%m/%Y")
    return str(v)


def case(rng):
    sy = rng.randint(1990, 2030)
    sm = rng.randint(1, 12)
    sd = rng.randint(1, month_end(sy, sm))
    ws = rng.randint(1, 7)
    d = dt.date(1950, 1, 1) + dt.timedelta(days=rng.randint(0, 365 * 100))
    m, q, w = rng.randint(0, 14), rng.randint(0, 6), rng.randint(0, 60)
    dn, k = rng.randint(0, 400), rng.randint(-30, 30)
    ref = Ref(sm, 28 if (sm, sd) == (2, 29) else sd, ws)
    start = "%02d/%02d/%04d" % (sd, sm, sy)
    expr = ('o := FT_Date{}, o:CNFG("%s", %d), x := SToD("%s"), '
            "{o:YEAR(x), o:MONTH(x), o:MONTH(x, %d), o:QTR(x), o:QTR(x, %d), o:WEEK(x), o:WEEK(x, %d), "
            "o:DAYOFYR(x), o:DAYOFYR(x, %d), o:DAYOFYR(x, NIL, .T.), o:ACCTYEAR(x), o:ACCTMONTH(x), "
            "o:ACCTMONTH(x, %d), o:ACCTQTR(x), o:ACCTQTR(x, %d), o:ACCTWEEK(x), o:ACCTWEEK(x, %d), "
            "o:MADD(x, %d), o:MADD(x, %d, .T.), o:DAYTOBOW(x), o:ACCTADJ(x), o:ACCTADJ(x, .T.)}"
            % (start, ws, d.strftime("%Y%m%d"), m, q, w, dn, m, q, w, k, k))
    want = [ref.year(d), ref.month(d), ref.month(d, m), ref.qtr(d), ref.qtr(d, q), ref.week(d),
            ref.week(d, w), ref.dayofyr(d), ref.dayofyr(d, dn), ref.dayofyr(d, None, True),
            ref.acctyear(d), ref.acctmonth(d), ref.acctmonth(d, m), ref.acctqtr(d), ref.acctqtr(d, q),
            ref.acctweek(d), ref.acctweek(d, w), ref.madd(d, k), ref.madd(d, k, True), ref.daytobow(d),
            ref.acctadj(d), ref.acctadj(d, True)]
    return expr, show(want)


def main():
    qzeval = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 10000
    rng = random.Random(int(sys.argv[3]) if len(sys.argv) > 3 else 12)
    cases = [case(rng) for _ in range(count)]
    run = subprocess.run([qzeval], input="\n".join(e for e, _ in cases) + "\n",
                         capture_output=True, text=True, timeout=600)
    got = run.stdout.splitlines()
    bad = 0
    for i, (expr, want) in enumerate(cases):
        have = got[i] if i < len(got) else "<no output>"
        if have != want:
            bad += 1
            if bad <= 5:
                print("case %d differs:\n  %s\n  want %s\n  got  %s" % (i + 1, expr, want, have))
    if run.returncode != 0:
        print("qzeval failed (%d): %s" % (run.returncode, run.stderr[:2000]))
    print("%d of %d cases agree" % (count - bad, count))
    return 0 if bad == 0 and run.returncode == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
