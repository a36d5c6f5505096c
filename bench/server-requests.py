#!/usr/bin/env python3
"""The wineserver requests of one measured interval of the bench, by what made them.

   server-requests.py <log> [interval]

<log> is the request log that bench.sh writes with ZELT_BENCH_SERVER_LOG=<log> (and
ZELT_BENCH_PROFILE=1, whose forwarders put the marks in). Intervals count from 1 in the order the
bench measures them (each row: a warm-up, the traced run, then its runs); without [interval], one
line per interval. Each request goes to the innermost mark open around it: a call of the page to
the system, a paint message, or "library" (a call into the token library); "(page)" is the page's
own code between those."""
import collections
import re
import sys

request = re.compile(r'^([0-9a-f]{4}): (\w+)\( ')
mark = re.compile(r'name=L"(zelt[^"]*)"')


def intervals(lines):
    thread, current, stack, open_ = None, None, [], False
    for line in lines:
        found = request.match(line)
        if not found or (thread and found.group(1) != thread):
            continue
        name = found.group(2)
        marked = mark.search(line) if name == 'get_key_value' else None
        if marked:
            what = marked.group(1)
            if what == 'zelt-- begin':
                thread = found.group(1)
                if current is not None:
                    yield current
                current, stack, open_ = collections.defaultdict(collections.Counter), [], True
            elif what == 'zelt-- end':
                open_ = False
            elif not open_ or what.startswith('zelt-- '):
                pass
            elif what.startswith('zelt> '):
                stack.append(what[6:])
            elif stack:
                stack.pop()
            continue
        if open_:
            current[stack[-1] if stack else '(page)'][name] += 1
    if current is not None:
        yield current


def main():
    with open(sys.argv[1], errors='replace') as log:
        found = list(intervals(log))
    if len(sys.argv) < 3:
        for number, owners in enumerate(found, 1):
            library = sum(owners.get('library', {}).values())
            total = sum(sum(c.values()) for c in owners.values())
            print(f'interval {number}: {total} requests, {total - library} of them not the library\'s')
        return
    owners = found[int(sys.argv[2]) - 1]
    for owner, counts in sorted(owners.items(), key=lambda item: -sum(item[1].values())):
        top = ', '.join(f'{count} {name}' for name, count in counts.most_common(6))
        print(f'{sum(counts.values()):6d}  {owner}: {top}')


main()
