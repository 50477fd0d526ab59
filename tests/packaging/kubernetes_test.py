#!/usr/bin/env python3
"""The Kubernetes example, checked offline and then run on this machine.

kubectl's dry run needs an API server even with --dry-run=client (it asks the
server which kinds exist), so the manifests are checked for what a server would
refuse or what would make the run go wrong: kinds and fields, volumes that
mounts name, the image scripts/container.sh makes, shard numbers that agree,
$(VARS) that the container defines, the documented order of the steps.  Then the
shard and merge argument lists run here with velkrun against the demo site on
127.0.0.1, with the pod's paths mapped into a temporary directory.

    kubernetes_test.py SOURCE-DIR VELKRUN DEMO-SITE VERSION
Exit 77 (skipped) without python3-yaml.
"""
import json
import os
import re
import subprocess
import sys
import tempfile
import time

try:
    import yaml
except ImportError:
    print("skipped: python3-yaml is not installed")
    sys.exit(77)

src, velkrun, demo_site = (os.path.abspath(a) for a in sys.argv[1:4])
version = sys.argv[4]
kdir = os.path.join(src, "examples", "kubernetes")
failures = []


def fail(message):
    failures.append(message)
    print("FAILED:", message, file=sys.stderr)


def load(name):
    with open(os.path.join(kdir, name), encoding="utf-8") as f:
        docs = [d for d in yaml.safe_load_all(f) if d is not None]
    if len(docs) != 1:
        fail(f"{name}: one object a file, so each step is applied on its own ({len(docs)} found)")
    return docs[0]


# The key under which an object holds its desired state, as the manifests
# write it.
STATE = next(iter(yaml.safe_load("""
spec:
""")))

# The fields of the objects the example uses; a misspelt field is dropped or
# refused by the server, so an unknown one is an error here.
FIELDS = {
    "object": {"apiVersion", "kind", "metadata", STATE},
    "Job state": {"completionMode", "completions", "parallelism", "backoffLimit", "template",
                 "activeDeadlineSeconds", "ttlSecondsAfterFinished"},
    "Pod state": {"restartPolicy", "securityContext", "containers", "volumes"},
    "Container": {"name", "image", "command", "args", "env", "volumeMounts", "resources",
                  "imagePullPolicy"},
    "PVC state": {"accessModes", "resources", "storageClassName"},
}
KINDS = {"PersistentVolumeClaim": "v1", "Pod": "v1", "Job": "batch/v1"}


def check_fields(where, obj, allowed):
    unknown = set(obj) - FIELDS[allowed]
    if unknown:
        fail(f"{where}: unknown fields {sorted(unknown)}")


def check_pod(where, pod, claims):
    check_fields(where, pod, "Pod state")
    if pod.get("restartPolicy") != "Never":
        fail(f"{where}: restartPolicy must be Never (a pod run again would run its users twice)")
    ctx = pod.get("securityContext", {})
    if not ctx.get("runAsNonRoot") or ctx.get("runAsUser") != 10001:
        fail(f"{where}: must run as the image's user 10001 with runAsNonRoot")
    volumes = {v["name"]: v for v in pod.get("volumes", [])}
    for v in volumes.values():
        claim = v.get("persistentVolumeClaim", {}).get("claimName")
        if claim is not None and claim not in claims:
            fail(f"{where}: volume {v['name']} names claim {claim}, which no step makes")
    containers = pod.get("containers", [])
    if len(containers) != 1:
        fail(f"{where}: one container expected")
    for c in containers:
        check_fields(f"{where}.{c.get('name')}", c, "Container")
        if c.get("image") != f"velkrun:{version}":
            fail(f"{where}: image {c.get('image')!r} is not scripts/container.sh's velkrun:{version}")
        for m in c.get("volumeMounts", []):
            if m["name"] not in volumes:
                fail(f"{where}: mount of {m['name']}, which is not a volume of the pod")
        defined = {e["name"] for e in c.get("env", [])}
        for arg in c.get("args", []) + c.get("command", []):
            for var in re.findall(r"\$\((\w+)\)", arg):
                if var not in defined:
                    fail(f"{where}: $({var}) is not defined in the container, so it stays as written")
    return containers[0] if containers else {}


steps = ["velk-results.yaml", "velk-shards.yaml", "velk-merge.yaml", "velk-fetch.yaml"]
objs = {name: load(name) for name in steps}
for name, obj in objs.items():
    check_fields(name, obj, "object")
    if KINDS.get(obj.get("kind")) != obj.get("apiVersion"):
        fail(f"{name}: {obj.get('apiVersion')}/{obj.get('kind')} is not a kind the example uses")
    if not re.fullmatch(r"[a-z0-9]([-a-z0-9]*[a-z0-9])?", obj.get("metadata", {}).get("name", "")):
        fail(f"{name}: the name is not a DNS label")

pvc = objs["velk-results.yaml"]
check_fields("velk-results.yaml", pvc[STATE], "PVC state")
claims = {pvc["metadata"]["name"]}
if "ReadWriteMany" not in pvc[STATE].get("accessModes", []):
    fail("velk-results.yaml: pods on several nodes write the volume: ReadWriteMany")

shards = objs["velk-shards.yaml"]
check_fields("velk-shards.yaml", shards[STATE], "Job state")
n = shards[STATE].get("completions")
if shards[STATE].get("completionMode") != "Indexed" or shards[STATE].get("parallelism") != n:
    fail("velk-shards.yaml: an Indexed Job whose completions all run at once")
if shards[STATE].get("backoffLimit") != 0:
    fail("velk-shards.yaml: backoffLimit 0, or a failed shard runs its users twice")
shard_c = check_pod("velk-shards.yaml", shards[STATE]["template"][STATE], claims)
shard_args = shard_c.get("args", [])
index_env = [e for e in shard_c.get("env", [])
             if "job-completion-index" in json.dumps(e.get("valueFrom", {}))]
if not index_env:
    fail("velk-shards.yaml: no variable holds the pod's completion index")
if f"$({index_env[0]['name'] if index_env else 'SHARD'})/{n}" not in shard_args:
    fail(f"velk-shards.yaml: --shard K/{n} does not match completions {n}")

merge = objs["velk-merge.yaml"]
check_fields("velk-merge.yaml", merge[STATE], "Job state")
merge_c = check_pod("velk-merge.yaml", merge[STATE]["template"][STATE], claims)
merge_args = merge_c.get("args", [])
wanted = [f"/results/shard-{k}.vshard" for k in range(n or 0)]
if [a for a in merge_args if a.endswith(".vshard")] != wanted:
    fail(f"velk-merge.yaml: the merge must name the {n} shard files the shards write")
fetch = objs["velk-fetch.yaml"]
fetch_c = check_pod("velk-fetch.yaml", fetch[STATE], claims)
if not any(m["mountPath"] == "/results" for m in fetch_c.get("volumeMounts", [])):
    fail("velk-fetch.yaml: the results volume must be at /results for kubectl cp")

# The documentation applies the steps in order and waits between them.
doc = open(os.path.join(src, "docs", "distributed.md"), encoding="utf-8").read()
positions = [doc.find(f"kubectl apply -f examples/kubernetes/{s}") for s in steps]
if -1 in positions or positions != sorted(positions):
    fail("docs/distributed.md: the four steps are not applied in order")
for needed in ["kubectl wait --for=condition=complete job/velk-shards",
               "kubectl create configmap velk-test --from-file=test.txt=",
               "kubectl cp velk-fetch:/results"]:
    if needed not in doc:
        fail(f"docs/distributed.md does not say {needed!r}")

if failures:
    sys.exit(1)

# The argument lists, run here: the test as the ConfigMap holds it, the
# results volume a directory, the target the demo site on loopback.
with tempfile.TemporaryDirectory() as work:
    os.mkdir(os.path.join(work, "test"))
    os.mkdir(os.path.join(work, "results"))
    with open(os.path.join(src, "examples", "demo-shop.txt"), "rb") as f_in, \
            open(os.path.join(work, "test", "test.txt"), "wb") as f_out:
        f_out.write(f_in.read())
    port_file = os.path.join(work, "port")
    site = subprocess.Popen([demo_site, "--port", "0", "--port-file", port_file],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        deadline = time.monotonic() + 10
        while not (os.path.exists(port_file) and os.path.getsize(port_file)) and time.monotonic() < deadline:
            time.sleep(0.1)
        port = open(port_file).read().strip()

        def local(args, k=None):
            out = []
            for a in args:
                a = a.replace(f"$({index_env[0]['name']})", str(k)) if k is not None else a
                a = a.replace("/results/", work + "/results/").replace("/test/", work + "/test/")
                a = re.sub(r"^reportdir=/results$", f"reportdir={work}/results", a)
                if a.startswith("-host="):
                    a = "-host=127.0.0.1"
                elif a.startswith("-port="):
                    a = f"-port={port}"
                out.append(a)
            return out

        runs = [subprocess.Popen([velkrun] + local(shard_args, k), cwd=os.path.join(work, "results"),
                                 stdout=subprocess.PIPE, stderr=subprocess.STDOUT) for k in range(n)]
        for k, run in enumerate(runs):
            out, _ = run.communicate(timeout=120)
            if run.returncode != 0:
                print(out.decode(errors="replace"))
                fail(f"shard {k} exited {run.returncode}")
        merged = subprocess.run([velkrun] + local(merge_args), cwd=os.path.join(work, "results"),
                                capture_output=True, timeout=120)
        if merged.returncode != 0:
            print(merged.stdout.decode(errors="replace"), merged.stderr.decode(errors="replace"))
            fail(f"the merge exited {merged.returncode}")
        else:
            summary = json.load(open(os.path.join(work, "results", "summary.json")))
            overall = summary["overall"]
            # The merge holds every user of every shard, and none failed.
            if summary["test"]["users"] != 10 or overall["count"] == 0 or overall["errors"]["total"]:
                fail(f"merged summary: {summary['test']['users']} users, {overall['count']} "
                     f"responses, {overall['errors']['total']} errors")
            if not os.path.getsize(os.path.join(work, "results", "all.rlt")):
                fail("the merge wrote no all.rlt")
            if not merged.stdout.strip():
                fail("the merge printed no report (kubectl logs shows it)")
            print(f"{n} shards and the merge ran here: {overall['count']} responses, no error")
    finally:
        site.terminate()
        site.wait(timeout=10)
sys.exit(1 if failures else 0)
