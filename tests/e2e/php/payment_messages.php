<?php
// The payment messages the end-to-end test sends, made and signed here with test secrets as
// PayPal, Stripe and a shop's webhook would, from their documented formats.
// Usage:
//   php payment_messages.php ipn [FIELD=VALUE...]          a PayPal message, form-encoded
//   php payment_messages.php stripe-session ID INTENT AMOUNT CURRENCY EMAIL [STATUS]
//   php payment_messages.php stripe-refund INTENT [FULL]    a charge.refunded event
//   php payment_messages.php stripe-signature SECRET TIME FILE   the Stripe-Signature header
//   php payment_messages.php webhook-signature SECRET FILE      the X-Webhook-Signature header
$args = array_slice( $argv, 2 );
switch ( $argv[1] ?? '' ) {
    case 'ipn':
        $fields = array(
            'mc_gross'       => '9.90',
            'protection_eligibility' => 'Eligible',
            'payer_id'       => 'LPLWNMTBWMFAY',
            'payment_date'   => '20:12:59 Jan 13, 2024 PST',
            'payment_status' => 'Completed',
            'charset'        => 'UTF-8',
            'first_name'     => 'Zoë',
            'mc_fee'         => '0.64',
            'notify_version' => '3.9',
            'custom'         => '',
            'payer_status'   => 'verified',
            'business'       => 'seller@example.invalid',
            'quantity'       => '1',
            'payer_email'    => 'buyer@example.invalid',
            'txn_id'         => '',
            'payment_type'   => 'instant',
            'last_name'      => "O'Brien & Söhne",
            'receiver_email' => 'seller@example.invalid',
            'receiver_id'    => 'S8XGHLYDW9T3S',
            'txn_type'       => 'web_accept',
            'item_name'      => 'Balcony herbs',
            'item_number'    => 'balcony-1',
            'mc_currency'    => 'EUR',
            'test_ipn'       => '1',
        );
        foreach ( $args as $pair ) {
            list( $name, $value ) = explode( '=', $pair, 2 ) + array( '', '' );
            $fields[ $name ] = $value;
        }
        echo http_build_query( $fields );
        break;
    case 'stripe-session':
        list( $session, $intent, $amount, $currency, $email ) = $args;
        echo json_encode(
            array(
                'id'       => 'evt_' . bin2hex( random_bytes( 8 ) ),
                'object'   => 'event',
                'type'     => 'checkout.session.completed',
                'livemode' => false,
                'data'     => array(
                    'object' => array(
                        'id'               => $session,
                        'object'           => 'checkout.session',
                        'amount_total'     => (int) $amount,
                        'currency'         => $currency,
                        'customer_details' => array( 'email' => $email, 'name' => 'Zoë O\'Brien' ),
                        'mode'             => 'payment',
                        'payment_intent'   => $intent,
                        'payment_status'   => $args[5] ?? 'paid',
                        'status'           => 'complete',
                    ),
                ),
            ),
            JSON_UNESCAPED_SLASHES
        );
        break;
    case 'stripe-refund':
        echo json_encode(
            array(
                'id'   => 'evt_' . bin2hex( random_bytes( 8 ) ),
                'type' => 'charge.refunded',
                'data' => array(
                    'object' => array(
                        'id'             => 'ch_' . bin2hex( random_bytes( 8 ) ),
                        'object'         => 'charge',
                        'payment_intent' => $args[0],
                        'refunded'       => 'partial' !== ( $args[1] ?? 'full' ),
                    ),
                ),
            ),
            JSON_UNESCAPED_SLASHES
        );
        break;
    case 'stripe-signature':
        list( $secret, $time, $file ) = $args;
        echo 't=', $time, ',v1=', hash_hmac( 'sha256', $time . '.' . file_get_contents( $file ), $secret );
        break;
    case 'webhook-signature':
        list( $secret, $file ) = $args;
        echo 'sha256=', hash_hmac( 'sha256', file_get_contents( $file ), $secret );
        break;
    default:
        fwrite( STDERR, "unknown message '" . ( $argv[1] ?? '' ) . "'\n" );
        exit( 2 );
}
