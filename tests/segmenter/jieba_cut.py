#!/usr/bin/python3
# Reads keywords, one a line (UTF-8), and prints each one's words as
# jieba.cut(keyword, HMM=False) gives them, joined by U+001F.
import sys

import jieba

jieba.setLogLevel(60)
for line in sys.stdin.read().split("\n"):
    if line:
        print("\x1f".join(jieba.cut(line, HMM=False)))
