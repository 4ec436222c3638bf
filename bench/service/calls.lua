-- wrk script: GET /api/v1/calls/CALL rotating through the calls of calls.txt (one a line),
-- each thread from its own offset; done() prints one line: requests/s and latency percentiles.
local calls = {}
for line in io.lines(os.getenv("TELLMARK_CALLS") or "calls.txt") do
  if #line > 0 then calls[#calls + 1] = line end
end
local counter = 0

function setup(thread)
  counter = counter + 1
  thread:set("offset", counter * 997)
end

function init(args)
  i = offset or 0
end

function request()
  i = i + 1
  return wrk.format("GET", "/api/v1/calls/" .. calls[(i % #calls) + 1])
end

function done(summary, latency, requests)
  io.write(string.format("RESULT requests=%d errors=%d rps=%.0f p50=%.3f p90=%.3f p99=%.3f\n",
    summary.requests, summary.errors.status + summary.errors.connect + summary.errors.read +
    summary.errors.write + summary.errors.timeout,
    summary.requests / (summary.duration / 1e6),
    latency:percentile(50) / 1000, latency:percentile(90) / 1000, latency:percentile(99) / 1000))
end
