-- wrk script: POST market orders to /api/oms/order with the bearer token from ZQT_TOKEN, alternating sides.
-- With ZQT_MAX_ORDERS set, each of the wrk threads stops after its share of that many replies.
local token = os.getenv("ZQT_TOKEN") or ""
local limit = tonumber(os.getenv("ZQT_MAX_ORDERS") or "0")
local threads = tonumber(os.getenv("ZQT_WRK_THREADS") or "1")
local n = 0
local replies = 0

wrk.method = "POST"
wrk.headers["Content-Type"] = "application/x-www-form-urlencoded"
wrk.headers["Authorization"] = "Bearer " .. token

request = function()
    n = n + 1
    local side = (n % 2 == 0) and "BUY" or "SELL"
    local body = "symbol=AAPL&side=" .. side .. "&qty=1&sl=&tp=&order_type=MARKET&limit_price=&stop_price="
    return wrk.format(nil, nil, nil, body)
end

response = function(status, headers, body)
    replies = replies + 1
    if limit > 0 and replies >= limit / threads then
        wrk.thread:stop()
    end
end
