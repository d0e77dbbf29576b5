"""What every benchmark script is told: the Windows programs (--bin), a folder to work
in (--work) and the source tree (--source); the end-to-end harness is made importable."""
import argparse
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'e2e'))


def parser():
    ap = argparse.ArgumentParser()
    ap.add_argument('--bin', required=True)
    ap.add_argument('--work', required=True)
    ap.add_argument('--source', required=True)
    return ap
