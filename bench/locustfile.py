"""Locust's fastest user for bench/compare.sh: one kept-alive GET, no pause.

The path comes from VELK_BENCH_PATH (default /small.txt); the host from --host.
"""
import os

from locust import FastHttpUser, constant, task

PATH = os.environ.get("VELK_BENCH_PATH", "/small.txt")


class GetFile(FastHttpUser):
    wait_time = constant(0)

    @task
    def get(self):
        self.client.get(PATH)
